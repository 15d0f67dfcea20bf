#include "hl7export/TestCatalogue.h"

#include "labdb/Database.h"

using namespace Qt::StringLiterals;

namespace kestrin {

TestCatalogue TestCatalogue::Load(Database& db)
{
    TestCatalogue catalogue;
    const QList<Row> rows =
        db.query(u"SELECT PARAMETER_ID, IMP_CODE_LDT, LONG, UNIT, CUTOFF FROM TEST_DEF ORDER BY PARAMETER_ID"_s);
    for (const Row& row : rows) {
        const qint64 id = row.value(u"PARAMETER_ID").toLongLong();
        if (catalogue.m_texts.contains(id))
            continue; // the first row of a parameter counts
        catalogue.m_texts.insert(id,
                                 {row.text(u"IMP_CODE_LDT").trimmed(), row.text(u"LONG").trimmed(),
                                  row.text(u"UNIT").trimmed(), row.text(u"CUTOFF").trimmed()});
    }
    return catalogue;
}

} // namespace kestrin
