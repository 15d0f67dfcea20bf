#pragma once

#include "core/RegionalFormat.h"
#include "runtime/CycleOutcome.h"
#include "service/CycleRecord.h"

#include <QDateTime>

namespace kestrin {

// The line the service manager shows beside the service ("systemctl status"): what the last
// import and export that handled items did, or since when they fail, and a database away:
// "Last import 14.03.2025 20:31:05: 3 stored, 1 failed; last export 14.03.2025 20:31:07: 2 sent".
// A cycle that finds nothing to do leaves it as it is: it changes with the work, not each second.
class ManagerStatus {
public:
    explicit ManagerStatus(RegionalFormat format);

    // A cycle has finished at `at`; true when the line has changed.
    bool noteCycle(CycleKind kind, const CycleOutcome& outcome, bool databaseConnected, const QDateTime& at);
    const QString& line() const { return m_line; }

private:
    struct Cycles {
        QDateTime lastWork; // the end of the last cycle that handled or failed items
        CycleOutcome work;
        QDateTime failingSince; // the first of the cycles that could not run, while they last
    };
    QString currentLine() const;
    QString text(const Cycles& cycles, const QString& kind, const QString& handled) const;

    RegionalFormat m_format;
    Cycles m_import;
    Cycles m_export;
    bool m_databaseConnected = true;
    QString m_line;
};

} // namespace kestrin
