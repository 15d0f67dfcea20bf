#pragma once

#include "labdb/Database.h"
#include "runtime/Context.h"

namespace kestrin {

// One control ordered on the analyser: its control ID is the analyser's sample ID, each of
// its parameters one item.
struct QcOrder {
    QString controlId;
    qint32 sampleNumber = 0;
    int items = 0;
};

// The analyser's channel of a parameter (param2channel); 0 when it has none.
qint32 FindChannel(Database& lab, const QString& analyzerId, qint32 parameterId);

// The analyser's name of a channel (itempara); "ni(<channel>)" when it names none.
QString FindItemName(Database& analyzer, qint32 channel);

// The analyser's tables that the QC orders need and its database lacks.
QStringList MissingAnalyzerTables(Database& analyzer);

// Orders the station's controls of control_block on its analyser: every earlier order of
// those controls is deleted (of any day), one samp_dat row is written per control and
// parameter, and one samp_odr row per control under the next free sample number of today.
// All of it is one transaction on the analyser database: on any failure it throws and the
// analyser keeps exactly what it had. Returns the orders written, in the order numbered.
QList<QcOrder> WriteQcOrders(Context& ctx, Database& analyzer);

// Start-up's step in run mode MGC: WriteQcOrders while holding a lock file beside the
// analyser database, so that two starts at once take turns, and a log line per order and
// a summary. A failure is logged and thrown as a StartupError.
void TransferQcOrders(Context& ctx, Database& analyzer);

} // namespace kestrin
