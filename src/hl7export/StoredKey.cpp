#include "hl7export/StoredKey.h"

#include "config/Engine.h"
#include "labdb/Database.h"

#include <QRegularExpression>

using namespace Qt::StringLiterals;

namespace kestrin {

namespace {

// A form as it is bound: whole numbers of any width as one type, so that equal forms meet.
QVariant boundForm(const QVariant& value)
{
    switch (value.metaType().id()) {
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::Long:
    case QMetaType::ULong:
    case QMetaType::LongLong:
    case QMetaType::Short:
    case QMetaType::UShort:
        return value.toLongLong();
    case QMetaType::Double:
    case QMetaType::QByteArray:
    case QMetaType::QString:
        return value;
    default:
        return {};
    }
}

// The number an older program may have stored instead of this text.
QVariant numberOf(const QString& text)
{
    static const QRegularExpression decimal(u"^-?(0|[1-9][0-9]{0,17})$"_s);
    return decimal.match(text).hasMatch() ? QVariant(text.toLongLong()) : QVariant();
}

} // namespace

StoredKey::StoredKey(const Database& db, const QVariant& value)
    : m_text(value.isNull() ? QString() : value.toString())
    , m_forms{m_text}
    , m_untyped(db.dialect().engine() == EngineName(Engine::Sqlite))
{
    if (!m_untyped)
        return;
    add(numberOf(m_text));
    add(value);
}

void StoredKey::add(const QVariant& value)
{
    const QVariant form = boundForm(value);
    if (!m_untyped || !form.isValid() || value.isNull())
        return;
    for (const QVariant& known : std::as_const(m_forms)) {
        if (known.metaType() == form.metaType() && known == form)
            return;
    }
    m_forms << form;
}

QString StoredKey::condition(const QString& column) const
{
    if (m_forms.size() == 1)
        return column + u" = ?"_s;
    return column + u" IN ("_s + Placeholders(m_forms.size()) + u')';
}

} // namespace kestrin
