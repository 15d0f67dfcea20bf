#pragma once

#include "config/AppConfig.h"
#include "core/RegionalFormat.h"
#include "runtime/CycleOutcome.h"

#include <QDateTime>

#include <optional>

namespace kestrin {

enum class CycleKind { Import, Export };

// What a running station last did with its cycles, kept in a small file beside its log, where
// "/status" of another process (and perhaps another user) reads it.
struct CycleRecord {
    qint64 pid = 0;
    QDateTime started;    // when that process began its run
    QDateTime lastImport; // the end of the last import cycle that ran through; invalid: none yet
    QDateTime lastExport;
    bool databaseConnected = true; // after its last cycle
    QDateTime written;             // when the file was written; set by WriteCycleRecord
};

// "<ComLogPath><StationId>.kestrin-status".
QString CycleRecordFileName(const AppConfig& config);

// The record in a file; nothing when the file is missing or holds no record.
std::optional<CycleRecord> ReadCycleRecord(const QString& path);
// Replaces the file in one rename, stamped with `now`; false when it cannot be written.
bool WriteCycleRecord(const QString& path, CycleRecord record, const QDateTime& now);

// The main window's status line: "Database connected - last import 09:14:05 - last export ...".
QString CycleStatusText(const CycleRecord& record, const RegionalFormat& format);

// Keeps a station's record up to date as its cycles finish. A file, not a database row: the
// record must tell of the last cycle also while the database is away. It is written after a
// cycle that handled items, when the minute has changed since the last writing, and at start
// and end; not after every idle cycle: an export every second would force the disk every second.
class CycleRecorder {
public:
    CycleRecorder(QString path, qint64 pid, const QDateTime& started);
    ~CycleRecorder();
    CycleRecorder(const CycleRecorder&) = delete;
    CycleRecorder& operator=(const CycleRecorder&) = delete;

    // A cycle has finished (it ran through unless `outcome.stopped` or `folderUnusable`).
    void noteCycle(CycleKind kind, const CycleOutcome& outcome, bool databaseConnected, const QDateTime& now);
    // Writes what is not written yet.
    void flush(const QDateTime& now);
    const CycleRecord& record() const { return m_record; }

private:
    QString m_path;
    CycleRecord m_record;
    QDateTime m_lastWrite;
    bool m_unwritten = true;
};

} // namespace kestrin
