#pragma once

#include <QString>

#include <stdexcept>

namespace kestrin {

// Start-up cannot go on: the message says what failed and where; the program ends with
// exit status 2.
class StartupError : public std::runtime_error {
public:
    explicit StartupError(const QString& message)
        : std::runtime_error(message.toStdString())
        , m_message(message)
    {
    }
    QString message() const { return m_message; }

private:
    QString m_message;
};

} // namespace kestrin
