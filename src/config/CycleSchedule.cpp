#include "config/CycleSchedule.h"

#include "core/Numbers.h"

namespace kestrin {

namespace {

bool isFastTestMachine(const QString& computerName) { return computerName.left(2).toUpper() == u"XJ"; }

bool tick(qint64& ticks, qint64 cutoff)
{
    ++ticks;
    if (ticks < cutoff)
        return false;
    ticks = 0;
    return true;
}

} // namespace

CycleSchedule::CycleSchedule(const QString& computerName, qint32 importCycleMinutes, qint32 exportCycleSeconds)
    : m_importCutoff(ImportCutoff(computerName, importCycleMinutes))
    , m_exportCutoff(ExportCutoff(computerName, exportCycleSeconds))
{
}

qint64 CycleSchedule::ImportCutoff(const QString& computerName, qint32 importCycleMinutes)
{
    if (isFastTestMachine(computerName))
        return 2;
    return static_cast<qint64>(RoundHalfEven(double(importCycleMinutes) * 60000.0 / kImportTickMs));
}

qint64 CycleSchedule::ExportCutoff(const QString& computerName, qint32 exportCycleSeconds)
{
    if (isFastTestMachine(computerName))
        return 2;
    return static_cast<qint64>(RoundHalfEven(double(exportCycleSeconds) * 1000.0 / kExportTickMs));
}

bool CycleSchedule::importTick() { return tick(m_importTicks, m_importCutoff); }
bool CycleSchedule::exportTick() { return tick(m_exportTicks, m_exportCutoff); }

} // namespace kestrin
