#include "service/ManagerStatus.h"

#include "core/DateTexts.h"

#include <utility>

using namespace Qt::StringLiterals;

namespace kestrin {

ManagerStatus::ManagerStatus(RegionalFormat format)
    : m_format(std::move(format))
    , m_line(currentLine())
{
}

bool ManagerStatus::noteCycle(CycleKind kind, const CycleOutcome& outcome, bool databaseConnected, const QDateTime& at)
{
    Cycles& cycles = kind == CycleKind::Import ? m_import : m_export;
    if (outcome.handled > 0 || outcome.failed > 0) {
        cycles.lastWork = at;
        cycles.work = outcome;
    }
    if (!outcome.stopped && !outcome.folderUnusable)
        cycles.failingSince = {};
    else if (!cycles.failingSince.isValid())
        cycles.failingSince = at;
    m_databaseConnected = databaseConnected;
    QString line = currentLine();
    if (line == m_line)
        return false;
    m_line = std::move(line);
    return true;
}

QString ManagerStatus::currentLine() const
{
    QString line = text(m_import, u"import"_s, u"stored"_s) + u"; "_s + text(m_export, u"export"_s, u"sent"_s);
    if (!m_databaseConnected)
        line = u"database away; "_s + line;
    line[0] = line[0].toUpper();
    return line;
}

QString ManagerStatus::text(const Cycles& cycles, const QString& kind, const QString& handled) const
{
    if (cycles.failingSince.isValid())
        return u"%1 failing since %2"_s.arg(kind, NowText(cycles.failingSince, m_format));
    if (!cycles.lastWork.isValid())
        return u"no %1 yet"_s.arg(kind);
    QStringList counts;
    if (cycles.work.handled > 0)
        counts << u"%1 %2"_s.arg(QString::number(cycles.work.handled), handled);
    if (cycles.work.failed > 0)
        counts << u"%1 failed"_s.arg(cycles.work.failed);
    return u"last %1 %2: %3"_s.arg(kind, NowText(cycles.lastWork, m_format), counts.join(u", "_s));
}

} // namespace kestrin
