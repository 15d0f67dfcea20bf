#include "idstation/StationQueries.h"

#include "idstation/StationSelection.h"
#include "labdb/Database.h"
#include "labdb/Dialect.h"

#include <QHash>

using namespace Qt::StringLiterals;

namespace kestrin {

ControlLists ReadControlLists(Database& db)
{
    ControlLists lists;
    const QList<Row> rows = db.query(u"SELECT control_id, name FROM control_base"_s);
    for (const ControlLevel level : {ControlLevel::Low, ControlLevel::Med, ControlLevel::High}) {
        const QString word = ControlLevelName(level);
        for (const Row& row : rows) {
            if (row.text(u"name").contains(word, Qt::CaseInsensitive))
                lists[size_t(level)] << row.text(u"control_id");
        }
    }
    return lists;
}

QStringList ReadStationSampleIds(Database& db, const QString& analyzerId)
{
    const QList<Row> rows = db.query(u"SELECT DISTINCT r.sample_id FROM request r "
                                     u"INNER JOIN param2channel p2c ON p2c.parameter_id = r.parameter_id "
                                     u"WHERE p2c.analyzer_id = ?"_s,
                                     {analyzerId});
    QStringList ids;
    ids.reserve(rows.size());
    for (const Row& row : rows)
        ids << row.at(0).toString();
    return ids;
}

QList<StationSample> ReadStationSamples(Database& db, const QStringList& sampleIds)
{
    // A fixed number of bound IDs per query keeps it one prepared statement; the last ID fills
    // the rest of a short chunk.
    constexpr qsizetype chunk = 50;
    static const QString sql =
        u"SELECT s.sample_id, p.forename, p.surname FROM sample_base s "
        u"INNER JOIN patients p ON p.p_id = s.p_id WHERE s.sample_id IN (%1)"_s.arg(Placeholders(chunk));
    struct Name {
        QString surname, forename;
    };
    QHash<QString, Name> names;       // by the sample ID as stored
    QHash<QString, Name> foldedNames; // for a server that compares IDs without regard to case
    for (qsizetype first = 0; first < sampleIds.size(); first += chunk) {
        QVariantList values;
        for (qsizetype i = first; i < first + chunk; ++i)
            values << sampleIds.at(std::min(i, sampleIds.size() - 1));
        for (const Row& row : db.query(sql, values)) {
            const QString id = row.text(u"sample_id");
            const Name name{row.text(u"surname"), row.text(u"forename")};
            names.insert(id, name);
            foldedNames.insert(id.toCaseFolded(), name);
        }
    }
    QList<StationSample> samples;
    for (const QString& id : sampleIds) {
        const auto exact = names.constFind(id);
        const auto folded = foldedNames.constFind(id.toCaseFolded());
        if (exact != names.cend())
            samples.append({id, SampleCaption(exact->surname, exact->forename, id)});
        else if (folded != foldedNames.cend())
            samples.append({id, SampleCaption(folded->surname, folded->forename, id)});
    }
    return samples;
}

QString SampleCaption(const QString& surname, const QString& forename, const QString& sampleId)
{
    return surname + u' ' + forename + u' ' + sampleId;
}

} // namespace kestrin
