#include "labdb/TextLookup.h"

#include "labdb/Database.h"
#include "labdb/Dialect.h"

using namespace Qt::StringLiterals;

namespace kestrin {

namespace {
const QString kNotAvailable = u"@N/A"_s;
const QString kTable = u"textstrings"_s;
const QString kEnglish = u"english"_s;
} // namespace

QString LookupText(Database& db, const QString& language, qint32 key)
{
    return LookupTexts(db, language, {key}).value(key);
}

QHash<qint32, QString> LookupTexts(Database& db, const QString& language, const QList<qint32>& keys)
{
    QHash<qint32, QString> texts;
    for (const qint32 key : keys)
        texts.insert(key, kNotAvailable);
    if (keys.isEmpty())
        return texts;
    const QStringList columns = db.columns(kTable);
    if (columns.isEmpty())
        return texts;
    // A language the table has no column for (or none at all) gives the English captions.
    const bool knownLanguage = IsIdentifier(language) && columns.contains(language, Qt::CaseInsensitive);
    const QString column = knownLanguage ? language : kEnglish;
    const Dialect& d = db.dialect();
    QVariantList values;
    for (const qint32 key : keys)
        values << key;
    const QString sql = u"SELECT %1 AS k, %2 AS caption, %3 AS english FROM %4 WHERE %1 IN (%5)"_s.arg(
        d.quote(u"key"_s), d.quote(column), d.quote(kEnglish), d.quote(kTable), Placeholders(keys.size()));
    for (const Row& row : db.query(sql, values)) {
        const QString caption = row.text(u"caption");
        const QString text = !caption.isEmpty() ? caption
            : row.isNull(u"english")            ? kNotAvailable
                                                : row.text(u"english");
        texts.insert(row.value(u"k").toInt(), text);
    }
    return texts;
}

} // namespace kestrin
