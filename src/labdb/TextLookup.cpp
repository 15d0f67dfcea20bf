#include "labdb/TextLookup.h"

#include "labdb/Database.h"
#include "labdb/Dialect.h"

using namespace Qt::StringLiterals;

namespace kestrin {

namespace {
const QString kNotAvailable = u"@N/A"_s;
const QString kTable = u"textstrings"_s;
} // namespace

QString LookupText(Database& db, const QString& language, qint32 key)
{
    const bool knownLanguage = IsIdentifier(language) && db.columns(kTable).contains(language, Qt::CaseInsensitive);
    if (!knownLanguage)
        return kNotAvailable;
    const auto row = db.first(
        u"SELECT %1 AS caption, english FROM textstrings WHERE \"key\" = ?"_s.arg(db.dialect().quote(language)), {key});
    if (!row)
        return kNotAvailable;
    const QString caption = row->text(u"caption");
    if (!caption.isEmpty())
        return caption;
    return row->isNull(u"english") ? kNotAvailable : row->text(u"english");
}

} // namespace kestrin
