#include "runtime/CommLog.h"

#include "FixedTexts.h"
#include "core/DateTexts.h"
#include "core/OwnFiles.h"
#include "core/TextChecks.h"

#include <QDir>
#include <QFileInfo>
#include <QTextStream>
#include <QThread>

#include <utility>

using namespace Qt::StringLiterals;

namespace kestrin {

std::optional<LogLines> FormatLogLines(const QString& message, int direction, const QString& nowText)
{
    using namespace runtimetexts;
    switch (LogDirection(direction)) {
    case LogDirection::AnalyzerToHost: {
        const QString line = nowText + kAnalyzerToHostTag + NameControlCharacters(message);
        return LogLines{line, line};
    }
    case LogDirection::HostToAnalyzer: {
        const QString line = nowText + kHostToAnalyzerTag + NameControlCharacters(message);
        return LogLines{line, line};
    }
    case LogDirection::Monitor:
        return LogLines{kMonitorTag + NameLineBreaks(message), nowText + u' ' + kMonitorTag + NameLineBreaks(message)};
    case LogDirection::OrderIn:
        return LogLines{nowText + kOrderInTag + NameControlCharacters(message),
                        nowText + kOrderInDisplayTag + NameControlCharacters(message)};
    case LogDirection::ResultOut: {
        const QString line = nowText + kResultOutTag + NameControlCharacters(message);
        return LogLines{line, line};
    }
    case LogDirection::EntryStation:
        return LogLines{nowText + kEntryStationTag + NameLineBreaks(message),
                        nowText + kEntryStationDisplayTag + NameLineBreaks(message)};
    }
    return std::nullopt;
}

CommLog::CommLog(const Clock& clock, RegionalFormat format, const QString& charset, QObject* parent)
    : QObject(parent)
    , m_clock(clock)
    , m_format(std::move(format))
    , m_codec(charset)
{
}

CommLog::~CommLog() { close(); }

bool CommLog::open(const QString& fileName, const QStringList& header)
{
    QByteArray headerBytes;
    for (const QString& line : header)
        headerBytes += m_codec.encode(NameLineBreaks(line)) + "\r\n";
    const QMutexLocker lock(&m_mutex);
    if (auto lines = m_threads.find(QThread::currentThreadId()); lines != m_threads.end())
        flushGathered(*lines);
    if (m_file.isOpen())
        m_file.close();
    QDir().mkpath(QFileInfo(fileName).absolutePath());
    m_fileName = fileName;
    // The log names patients and samples: not for every user of the machine, and never written
    // through a link that another user of the log folder put in its place.
    m_openError = OpenOwnFileForAppending(m_file, fileName, 0640);
    if (!m_openError.isEmpty())
        return false;
    writeBytes(headerBytes);
    return true;
}

void CommLog::close()
{
    const QMutexLocker lock(&m_mutex);
    if (auto lines = m_threads.find(QThread::currentThreadId()); lines != m_threads.end())
        flushGathered(*lines);
    if (m_file.isOpen())
        m_file.close();
}

bool CommLog::isOpen() const
{
    const QMutexLocker lock(&m_mutex);
    return m_file.isOpen();
}

QString CommLog::fileName() const
{
    const QMutexLocker lock(&m_mutex);
    return m_fileName;
}

QString CommLog::errorString() const
{
    const QMutexLocker lock(&m_mutex);
    return m_openError.isEmpty() ? m_file.errorString() : m_openError;
}

void CommLog::writeLine(const QString& line)
{
    // One entry, one line: a driver's message or a file name may carry line breaks.
    const QByteArray bytes = m_codec.encode(NameLineBreaks(line)) + "\r\n";
    const QMutexLocker lock(&m_mutex);
    // A log that cannot be written must not stop the laboratory's work: say so and go on.
    if (!m_file.isOpen()) {
        QTextStream(stderr) << "kestrin: the communication log is not open: " << line << Qt::endl;
        return;
    }
    if (auto lines = m_threads.find(QThread::currentThreadId()); lines != m_threads.end() && lines->gathering > 0)
        lines->gathered += bytes;
    else
        writeBytes(bytes);
}

void CommLog::writeBytes(const QByteArray& bytes)
{
    if (bytes.isEmpty())
        return;
    if (m_file.write(bytes) < 0 || !m_file.flush())
        QTextStream(stderr) << "kestrin: cannot write the communication log " << m_fileName << ": "
                            << m_file.errorString() << Qt::endl;
}

void CommLog::flushGathered(ThreadLines& lines)
{
    // Kept for the next file when none is open.
    if (lines.gathered.isEmpty() || !m_file.isOpen())
        return;
    writeBytes(lines.gathered);
    lines.gathered.clear();
}

void CommLog::beginGathering()
{
    const QMutexLocker lock(&m_mutex);
    ++m_threads[QThread::currentThreadId()].gathering;
}

void CommLog::endGathering()
{
    const QMutexLocker lock(&m_mutex);
    const Qt::HANDLE thread = QThread::currentThreadId();
    ThreadLines& lines = m_threads[thread];
    if (--lines.gathering == 0)
        flushGathered(lines);
    forgetIdle(thread);
}

bool CommLog::setSilent(bool silent)
{
    const QMutexLocker lock(&m_mutex);
    const Qt::HANDLE thread = QThread::currentThreadId();
    const bool was = std::exchange(m_threads[thread].silent, silent);
    forgetIdle(thread);
    return was;
}

bool CommLog::silentHere() const
{
    const QMutexLocker lock(&m_mutex);
    const auto lines = m_threads.constFind(QThread::currentThreadId());
    return lines != m_threads.cend() && lines->silent;
}

void CommLog::forgetIdle(Qt::HANDLE thread)
{
    const auto lines = m_threads.constFind(thread);
    if (lines != m_threads.cend() && lines->gathering == 0 && !lines->silent && lines->gathered.isEmpty())
        m_threads.erase(lines);
}

void CommLog::logall(const QString& message, int direction)
{
    if (silentHere())
        return;
    const auto lines = FormatLogLines(message, direction, nowText());
    if (!lines)
        return;
    writeLine(lines->file);
    emit displayLine(lines->display);
}

void CommLog::logStatus(const QString& message)
{
    if (silentHere())
        return;
    const QString now = nowText();
    logall(message, LogDirection::Monitor);
    emit statusLine(FormatLogLines(message, int(LogDirection::Monitor), now)->display);
}

QString CommLog::nowText() const
{
    const QDateTime now = m_clock.now();
    // Local fields only: no time-zone lookup for the key.
    const qint64 second = now.date().toJulianDay() * 86400 + now.time().msecsSinceStartOfDay() / 1000;
    const QMutexLocker lock(&m_mutex);
    if (second != m_textSecond) {
        m_text = NowText(now, m_format);
        m_textSecond = second;
    }
    return m_text;
}

} // namespace kestrin
