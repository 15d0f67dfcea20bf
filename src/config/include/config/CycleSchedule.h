#pragma once

#include <QString>

namespace kestrin {

// Counts the ticks of the import timer (every 5 s) and the export timer (every 1 s) and
// says when a cycle is due. A cut-off of 0 or less runs a cycle on every tick.
class CycleSchedule {
public:
    static constexpr int kImportTickMs = 5000;
    static constexpr int kExportTickMs = 1000;
    // The laboratory's counters were 16-bit; longer cycles are refused at start-up.
    static constexpr qint64 kMaxCutoff = 32767;

    CycleSchedule(const QString& computerName, qint32 importCycleMinutes, qint32 exportCycleSeconds);

    // Ticks per cycle: minutes x 60000 / 5000 and seconds x 1000 / 1000, rounded half to
    // even; machines whose name begins with "XJ" (any case) run every 2 ticks.
    static qint64 ImportCutoff(const QString& computerName, qint32 importCycleMinutes);
    static qint64 ExportCutoff(const QString& computerName, qint32 exportCycleSeconds);

    // One tick; true when a cycle is due now (the counter then starts again at 0).
    bool importTick();
    bool exportTick();

    qint64 importCutoff() const { return m_importCutoff; }
    qint64 exportCutoff() const { return m_exportCutoff; }
    qint64 importTicks() const { return m_importTicks; }
    qint64 exportTicks() const { return m_exportTicks; }

private:
    qint64 m_importCutoff;
    qint64 m_exportCutoff;
    qint64 m_importTicks = 0;
    qint64 m_exportTicks = 0;
};

} // namespace kestrin
