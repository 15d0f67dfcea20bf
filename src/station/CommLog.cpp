#include "station/CommLog.h"

#include "core/DateTexts.h"
#include "core/TextChecks.h"

#include <QDir>
#include <QFileInfo>
#include <QTextStream>

using namespace Qt::StringLiterals;

namespace kestrin {

std::optional<LogLines> FormatLogLines(const QString& message, int direction, const QString& nowText)
{
    switch (LogDirection(direction)) {
    case LogDirection::AnalyzerToHost: {
        const QString line = nowText + u"  A->H"_s + NameControlCharacters(message);
        return LogLines{line, line};
    }
    case LogDirection::HostToAnalyzer: {
        const QString line = nowText + u"  H->A"_s + NameControlCharacters(message);
        return LogLines{line, line};
    }
    case LogDirection::Monitor:
        return LogLines{u"Monitor: "_s + NameLineBreaks(message), nowText + u" Monitor: "_s + NameLineBreaks(message)};
    case LogDirection::OrderIn:
        return LogLines{nowText + u" K->L "_s + NameControlCharacters(message),
                        nowText + u"     K->L "_s + NameControlCharacters(message)};
    case LogDirection::ResultOut: {
        const QString line = nowText + u" L->K "_s + NameControlCharacters(message);
        return LogLines{line, line};
    }
    case LogDirection::EntryStation:
        return LogLines{nowText + u" INPUT: "_s + NameLineBreaks(message),
                        nowText + u"     L->H"_s + NameLineBreaks(message)};
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

bool CommLog::open(const QString& fileName)
{
    close();
    QDir().mkpath(QFileInfo(fileName).absolutePath());
    m_file.setFileName(fileName);
    // The log names patients and samples: not for every user of the machine.
    return m_file.open(QIODevice::WriteOnly | QIODevice::Append,
                       QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup);
}

void CommLog::close()
{
    flushGathered();
    if (m_file.isOpen())
        m_file.close();
}

void CommLog::writeLine(const QString& line)
{
    // A log that cannot be written must not stop the laboratory's work: say so and go on.
    if (!m_file.isOpen()) {
        QTextStream(stderr) << "kestrin: the communication log is not open: " << line << Qt::endl;
        return;
    }
    // One entry, one line: a driver's message or a file name may carry line breaks.
    m_gathered += m_codec.encode(NameLineBreaks(line)) + "\r\n";
    if (m_gathering == 0)
        flushGathered();
}

void CommLog::flushGathered()
{
    if (m_gathered.isEmpty() || !m_file.isOpen())
        return;
    if (m_file.write(m_gathered) < 0 || !m_file.flush())
        QTextStream(stderr) << "kestrin: cannot write the communication log " << m_file.fileName() << ": "
                            << m_file.errorString() << Qt::endl;
    m_gathered.clear();
}

void CommLog::logall(const QString& message, int direction)
{
    if (m_silent)
        return;
    const auto lines = FormatLogLines(message, direction, nowText());
    if (!lines)
        return;
    writeLine(lines->file);
    emit displayLine(lines->display);
}

void CommLog::logStatus(const QString& message)
{
    logall(message, LogDirection::Monitor);
    if (!m_silent)
        emit statusLine(FormatLogLines(message, int(LogDirection::Monitor), nowText())->display);
}

QString CommLog::nowText() const
{
    const QDateTime now = m_clock.now();
    // Local fields only: no time-zone lookup for the key.
    const qint64 second = now.date().toJulianDay() * 86400 + now.time().msecsSinceStartOfDay() / 1000;
    if (second != m_textSecond) {
        m_text = NowText(now, m_format);
        m_textSecond = second;
    }
    return m_text;
}

} // namespace kestrin
