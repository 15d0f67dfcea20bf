#pragma once

#include <QString>

#include <stdexcept>

namespace kestrin {

// The root of every error Kestrin throws, with its message as program text. Errors are
// thrown where they happen and caught only at the boundaries of one unit of work: one order
// file, one sample, one station action, one cycle, start-up. There each is logged or shown
// with ErrorText() and the program goes on (start-up: exit status 2, or 78 for a
// configuration that cannot work).
class Error : public std::runtime_error {
public:
    explicit Error(const QString& message)
        : std::runtime_error(message.toStdString())
        , m_message(message)
    {
    }
    QString message() const { return m_message; }

private:
    QString m_message;
};

// Start-up cannot go on: the message says what failed and where.
class StartupError : public Error {
public:
    using Error::Error;
};

// The configuration (INI file, command line) is unusable: starting again will not mend it, so
// start-up ends with its own exit status (78, as sysexits' EX_CONFIG) for a service manager
// not to restart it.
class ConfigurationError : public StartupError {
public:
    using StartupError::StartupError;
};

// A file or folder that cannot be read, written, moved or forced to disk.
class FileError : public Error {
public:
    using Error::Error;
};

// A mistake in the program itself (a column a query did not select, a name that was never
// checked): no user or peer system can cause it.
class ProgramError : public Error {
public:
    using Error::Error;
};

// The text of any error, for the log and for messages.
inline QString ErrorText(const std::exception& e)
{
    if (const auto* error = dynamic_cast<const Error*>(&e))
        return error->message();
    return QString::fromUtf8(e.what());
}

} // namespace kestrin
