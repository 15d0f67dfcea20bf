#include "core/TextCodec.h"

#include <QStringDecoder>
#include <QStringEncoder>

#include <array>

using namespace Qt::StringLiterals;

namespace kestrin {

namespace {

// The characters of bytes 0x80 to 0x9F; 0 where windows-1252 leaves a byte undefined,
// which then stands for the C1 control character of the same code, as Windows does.
constexpr std::array<char16_t, 32> kWindows1252High = {0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                                       0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0,      0x017D, 0,
                                                       0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                                       0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

bool isWindows1252Name(const QString& name)
{
    const QString n = name.trimmed().toLower();
    return n == u"windows-1252" || n == u"cp1252" || n == u"windows1252" || n == u"1252";
}

QString fromWindows1252(const QByteArray& bytes)
{
    QString text(bytes.size(), Qt::Uninitialized);
    QChar* out = text.data();
    for (const char byte : bytes) {
        const auto b = static_cast<unsigned char>(byte);
        char16_t c = b;
        if (b >= 0x80 && b <= 0x9F && kWindows1252High[b - 0x80] != 0)
            c = kWindows1252High[b - 0x80];
        *out++ = QChar(c);
    }
    return text;
}

// A character windows-1252 has no byte for becomes "?".
QByteArray toWindows1252(const QString& text)
{
    QByteArray bytes(text.size(), Qt::Uninitialized);
    char* out = bytes.data();
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        unsigned char b = '?';
        if (u < 0x80 || (u >= 0xA0 && u <= 0xFF)) {
            b = static_cast<unsigned char>(u);
        } else {
            for (std::size_t i = 0; i < kWindows1252High.size(); ++i) {
                if (kWindows1252High[i] == u || (kWindows1252High[i] == 0 && u == 0x80 + i)) {
                    b = static_cast<unsigned char>(0x80 + i);
                    break;
                }
            }
        }
        *out++ = static_cast<char>(b);
    }
    return bytes;
}

} // namespace

TextCodec::TextCodec(const QString& charset)
    : m_name(charset)
{
    if (isWindows1252Name(charset)) {
        m_kind = Kind::Windows1252;
    } else if (!charset.trimmed().isEmpty()) {
        const QByteArray name = charset.trimmed().toLatin1();
        QStringDecoder probe(name.constData());
        if (probe.isValid())
            m_kind = Kind::Qt;
    }
}

QString TextCodec::decode(const QByteArray& bytes) const
{
    if (m_kind == Kind::Windows1252)
        return fromWindows1252(bytes);
    if (m_kind == Kind::Qt)
        return QStringDecoder(m_name.trimmed().toLatin1().constData()).decode(bytes);
    return QString::fromLatin1(bytes);
}

QByteArray TextCodec::encode(const QString& text) const
{
    if (m_kind == Kind::Windows1252)
        return toWindows1252(text);
    if (m_kind == Kind::Qt)
        return QStringEncoder(m_name.trimmed().toLatin1().constData()).encode(text);
    return text.toLatin1();
}

bool IsValidUtf8(const QByteArray& bytes)
{
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = decoder.decode(bytes);
    return !decoder.hasError();
}

} // namespace kestrin
