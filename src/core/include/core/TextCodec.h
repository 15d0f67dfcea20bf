#pragma once

#include <QByteArray>
#include <QString>

namespace kestrin {

// Conversion between program text and the bytes of files in a named character set
// ("windows-1252", "ISO-8859-1", "UTF-8", ...). windows-1252, the workstations' code page,
// is built in so that it works whether or not Qt was built with ICU.
class TextCodec {
public:
    explicit TextCodec(const QString& charset);

    bool isValid() const { return m_kind != Kind::Invalid; }
    QString name() const { return m_name; }

    QString decode(const QByteArray& bytes) const;
    QByteArray encode(const QString& text) const;

    static bool isKnown(const QString& charset) { return TextCodec(charset).isValid(); }

private:
    enum class Kind { Invalid, Windows1252, Qt };
    Kind m_kind = Kind::Invalid;
    QString m_name;
};

// True when the bytes are valid UTF-8.
bool IsValidUtf8(const QByteArray& bytes);

} // namespace kestrin
