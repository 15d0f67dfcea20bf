#include "service/CycleRecord.h"

#include "core/DateTexts.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

using namespace Qt::StringLiterals;

namespace kestrin {

namespace {

// The file's lines, "key=value"; times in ISO 8601 with their offset from UTC.
constexpr auto kPid = "pid"_L1;
constexpr auto kStarted = "started"_L1;
constexpr auto kLastImport = "last-import"_L1;
constexpr auto kLastExport = "last-export"_L1;
constexpr auto kDatabase = "database"_L1;
constexpr auto kWritten = "written"_L1;
constexpr qint64 kMaxRecordBytes = 4096;

QString timeText(const QDateTime& time)
{
    return time.isValid() ? time.toOffsetFromUtc(time.offsetFromUtc()).toString(Qt::ISODateWithMs) : QString();
}

QString shownTime(const QDateTime& time, const RegionalFormat& format)
{
    return time.isValid() ? NowText(time, format) : QCoreApplication::translate("CycleRecord", "none yet");
}

} // namespace

QString CycleRecordFileName(const AppConfig& config)
{
    return QFileInfo(config.ComLogPath + config.StationId + u".kestrin-status"_s).absoluteFilePath();
}

std::optional<CycleRecord> ReadCycleRecord(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    CycleRecord record;
    const QByteArray content = file.read(kMaxRecordBytes);
    for (const QByteArray& line : content.split('\n')) {
        const qsizetype equals = line.indexOf('=');
        if (equals < 0)
            continue;
        const QString key = QString::fromLatin1(line.left(equals));
        const QString value = QString::fromUtf8(line.mid(equals + 1)).trimmed();
        const QDateTime time = QDateTime::fromString(value, Qt::ISODateWithMs).toLocalTime();
        if (key == kPid)
            record.pid = value.toLongLong();
        else if (key == kStarted)
            record.started = time;
        else if (key == kLastImport)
            record.lastImport = time;
        else if (key == kLastExport)
            record.lastExport = time;
        else if (key == kDatabase)
            record.databaseConnected = value == u"connected";
        else if (key == kWritten)
            record.written = time;
    }
    if (!record.written.isValid())
        return std::nullopt;
    return record;
}

bool WriteCycleRecord(const QString& path, CycleRecord record, const QDateTime& now)
{
    record.written = now;
    QString text;
    const std::pair<QLatin1StringView, QString> lines[] = {
        {kPid, QString::number(record.pid)},
        {kStarted, timeText(record.started)},
        {kLastImport, timeText(record.lastImport)},
        {kLastExport, timeText(record.lastExport)},
        {kDatabase, record.databaseConnected ? u"connected"_s : u"away"_s},
        {kWritten, timeText(record.written)},
    };
    for (const auto& [key, value] : lines)
        text += key + u'=' + value + u'\n';
    QSaveFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(text.toUtf8()) >= 0 && file.commit();
}

QString CycleStatusText(const CycleRecord& record, const RegionalFormat& format)
{
    const char* text = record.databaseConnected
        ? QT_TRANSLATE_NOOP("CycleRecord", "Database connected - last import cycle: %1 - last export cycle: %2")
        : QT_TRANSLATE_NOOP("CycleRecord", "Database away - last import cycle: %1 - last export cycle: %2");
    return QCoreApplication::translate("CycleRecord", text)
        .arg(shownTime(record.lastImport, format), shownTime(record.lastExport, format));
}

CycleRecorder::CycleRecorder(QString path, qint64 pid, const QDateTime& started)
    : m_path(std::move(path))
{
    m_record.pid = pid;
    m_record.started = started;
    flush(started);
}

// A record that cannot be written is not the run's trouble: "/status" then finds it old.
CycleRecorder::~CycleRecorder() { flush(QDateTime::currentDateTime()); }

void CycleRecorder::noteCycle(CycleKind kind, const CycleOutcome& outcome, bool databaseConnected, const QDateTime& now)
{
    // A cycle that could not look at its folder has not run through: /status then sees the
    // time stand still.
    const bool ranThrough = !outcome.stopped && !outcome.folderUnusable;
    if (ranThrough)
        (kind == CycleKind::Import ? m_record.lastImport : m_record.lastExport) = now;
    m_unwritten = m_unwritten || ranThrough || databaseConnected != m_record.databaseConnected;
    m_record.databaseConnected = databaseConnected;
    const bool didWork = outcome.handled > 0 || outcome.failed > 0;
    const auto minute = [](const QDateTime& t) { return t.toSecsSinceEpoch() / 60; };
    if (m_unwritten && (didWork || minute(now) != minute(m_lastWrite)))
        flush(now);
}

void CycleRecorder::flush(const QDateTime& now)
{
    if (!m_unwritten)
        return;
    if (WriteCycleRecord(m_path, m_record, now)) {
        m_lastWrite = now;
        m_unwritten = false;
    }
}

} // namespace kestrin
