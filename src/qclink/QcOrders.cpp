#include "qclink/QcOrders.h"

#include "core/Error.h"
#include "labdb/Connection.h"
#include "labdb/DbError.h"

#include <QLockFile>

#include <limits>

using namespace Qt::StringLiterals;

namespace kestrin {

namespace {

// Far longer than another start's transfer takes; a lock left by a process that died is
// taken over on the way.
constexpr int kLockWaitMs = 60'000;

const QString kInsertItem =
    u"INSERT INTO samp_dat (samp_id, fdate, s_rnd_NO, ord_state, item_no, item_name, autorerun, dil_ord, "
    u"data_state, rst_Date, p_flag, s_flag, d_flag, od_data, conc_data, mon_link, conc_data_re, p_flag_re) "
    u"VALUES (?, ?, 1, 0, ?, ?, 0, 0, 1, NULL, NULL, NULL, NULL, 0, 0, 0, 0, NULL)"_s;

const QString kInsertOrder =
    u"INSERT INTO samp_odr (samp_id, fdate, s_rnd_no, samp_mode, samp_no, samp_kind, ord_state, autorerun, "
    u"samp_state, samp_type, ctrl_type, asp_no, asp_date, ord_total, reord_total, pati_id, comment1, comment2, "
    u"r_rnd_no, profile1, profile2, profile3, profile4, profile5, profile6, profile7, profile8, profile9, "
    u"profile10, barID) "
    u"VALUES (?, ?, 1, 1, ?, 0, 0, 0, 1, 0, 0, 1, NULL, ?, 0, NULL, NULL, NULL, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, ?)"_s;

// A whole number the columns hold as 32 bits; NULL counts as 0.
qint32 int32Value(const Row& row, QStringView column)
{
    const QVariant value = row.value(column);
    if (value.isNull())
        return 0;
    bool ok = false;
    const qlonglong number = value.toLongLong(&ok);
    if (!ok || number < std::numeric_limits<qint32>::min() || number > std::numeric_limits<qint32>::max())
        throw DbError(u"The column %1 holds \"%2\", which is no 32-bit whole number."_s.arg(column, value.toString()),
                      QString());
    return qint32(number);
}

qint32 nextSampleNumber(Database& analyzer, const QVariant& today)
{
    const auto row = analyzer.first(u"SELECT MAX(samp_no) AS sn FROM samp_odr WHERE fdate = ?"_s, {today});
    const qint32 highest = row ? int32Value(*row, u"sn") : 0;
    if (highest == std::numeric_limits<qint32>::max())
        throw DbError(u"Today's highest sample number %1 leaves no next one."_s.arg(highest), QString());
    return highest + 1;
}

} // namespace

qint32 FindChannel(Database& lab, const QString& analyzerId, qint32 parameterId)
{
    const auto row = lab.first(u"SELECT channel_id FROM param2channel WHERE parameter_id = ? AND analyzer_id = ?"_s,
                               {parameterId, analyzerId});
    return row ? int32Value(*row, u"channel_id") : 0;
}

QString FindItemName(Database& analyzer, qint32 channel)
{
    const auto row = analyzer.first(u"SELECT item_name FROM itempara WHERE item_no = ?"_s, {channel});
    if (!row || row->isNull(u"item_name"))
        return u"ni(%1)"_s.arg(channel);
    return row->text(u"item_name");
}

QStringList MissingAnalyzerTables(Database& analyzer)
{
    QStringList missing;
    for (const QString& table : {u"samp_odr"_s, u"samp_dat"_s, u"itempara"_s}) {
        if (!analyzer.tableExists(table))
            missing << table;
    }
    return missing;
}

QList<QcOrder> WriteQcOrders(Context& ctx, Database& analyzer)
{
    const QString& station = ctx.config.StationId;
    // Read once, so that the items written and each order's item count agree.
    const QList<Row> blocks = ctx.db.query(u"SELECT control_id, parameter_id FROM control_block "
                                           u"WHERE analyzer_id = ? ORDER BY control_id, parameter_id"_s,
                                           {station});
    QList<QcOrder> orders;
    for (const Row& block : blocks) {
        const QString controlId = block.text(u"control_id");
        if (orders.isEmpty() || orders.last().controlId != controlId)
            orders.append({controlId, 0, 0});
        ++orders.last().items;
    }
    if (orders.isEmpty())
        return orders;

    Transaction transaction(analyzer);
    // One date for the whole transfer, even when it runs across midnight.
    const QVariant today =
        analyzer.first(u"SELECT %1 AS today"_s.arg(analyzer.dialect().currentDate()))->value(u"today");
    for (const QcOrder& order : std::as_const(orders)) {
        analyzer.exec(u"DELETE FROM samp_dat WHERE samp_id = ?"_s, {order.controlId});
        analyzer.exec(u"DELETE FROM samp_odr WHERE samp_id = ?"_s, {order.controlId});
    }
    for (const Row& block : blocks) {
        const qint32 channel = FindChannel(ctx.db, station, int32Value(block, u"parameter_id"));
        analyzer.exec(kInsertItem, {block.text(u"control_id"), today, channel, FindItemName(analyzer, channel)});
    }
    for (QcOrder& order : orders) {
        order.sampleNumber = nextSampleNumber(analyzer, today);
        analyzer.exec(kInsertOrder, {order.controlId, today, order.sampleNumber, order.items, order.controlId});
    }
    transaction.commit();
    return orders;
}

void TransferQcOrders(Context& ctx, Database& analyzer)
{
    const QString& station = ctx.config.StationId;
    const QString heading = u"QC orders for analyser %1"_s.arg(station);
    QList<QcOrder> orders;
    try {
        // The analyser's database engine may let two transactions read the same highest
        // sample number; the lock file keeps two Kestrin starts from doing so.
        QLockFile lock(ConnectionSettingsOf(ctx.config).analyzerDatabase + u".kestrin-lock"_s);
        if (!lock.tryLock(kLockWaitMs))
            throw FileError(lock.error() == QLockFile::LockFailedError
                                ? u"another Kestrin kept the lock file %1 for over a minute"_s.arg(lock.fileName())
                                : u"the lock file %1 cannot be written"_s.arg(lock.fileName()));
        orders = WriteQcOrders(ctx, analyzer);
    } catch (const std::exception& e) {
        ctx.log.logall(u"%1 failed; the analyser database keeps what it had: %2"_s.arg(heading, ErrorText(e)),
                       LogDirection::Monitor);
        throw StartupError(u"The QC orders for analyser %1 could not be written into %2: %3"_s.arg(
            station, analyzer.description(), ErrorText(e)));
    }
    if (orders.isEmpty()) {
        ctx.log.logall(heading + u": control_block holds no control for it; nothing was written."_s,
                       LogDirection::Monitor);
        return;
    }
    int items = 0;
    for (const QcOrder& order : std::as_const(orders)) {
        ctx.log.logall(u"QC order %1: sample number %2, %3 items"_s.arg(
                           order.controlId, QString::number(order.sampleNumber), QString::number(order.items)),
                       LogDirection::Monitor);
        items += order.items;
    }
    ctx.log.logall(u"%1: %2 controls with %3 items written into %4"_s.arg(
                       heading, QString::number(orders.size()), QString::number(items), analyzer.description()),
                   LogDirection::Monitor);
}

} // namespace kestrin
