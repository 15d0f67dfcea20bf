#pragma once

#include <QString>

#include <stdexcept>

namespace kestrin {

// An error Kestrin throws, with its message as program text.
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

// The text of any error, for the log and for messages.
inline QString ErrorText(const std::exception& e)
{
    if (const auto* error = dynamic_cast<const Error*>(&e))
        return error->message();
    return QString::fromUtf8(e.what());
}

} // namespace kestrin
