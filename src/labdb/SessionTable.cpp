#include "labdb/SessionTable.h"

#include "core/Error.h"
#include "labdb/Database.h"

using namespace Qt::StringLiterals;

namespace kestrin {

QString SessionTableName(const QString& runType, const QString& stationId) { return runType + u'_' + stationId; }

QString CreateSessionTable(Database& db, const QString& runType, const QString& stationId)
{
    const QString name = SessionTableName(runType, stationId);
    if (!IsIdentifier(name))
        throw ConfigurationError(u"The work table name \"%1\" (type and id of the command line) may hold only letters, "
                                 u"digits and \"_\"."_s.arg(name));
    if (db.tableExists(name))
        return name;
    for (const QString& statement : db.dialect().createEmptyCopy(name, u"REQUEST"_s))
        db.exec(statement);
    return name;
}

} // namespace kestrin
