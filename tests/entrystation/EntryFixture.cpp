#include "EntryFixture.h"

#include "labdb/SessionTable.h"

using namespace Qt::StringLiterals;

namespace kestrin::test {

EntryFixture::EntryFixture(const QString& engine, const QString& stationId)
    : lab(engine)
{
    lab.config.StationId = stationId;
    lab.config.RunType = u"INPUT"_s;
    lab.config.TestParameter = 8;
    lab.config.AutoVal = u"1"_s;
    lab.config.Language = u"german"_s;
    if (!lab.available())
        return;
    lab.seedTests();
    Database& db = lab.db();
    for (const auto& [id, comment] : {std::pair{u"MB"_s, u"Morning bench"_s}, std::pair{u"EB"_s, u"Evening bench"_s},
                                      std::pair{u"O'Neil"_s, u"Night bench"_s}})
        db.exec(u"INSERT INTO user_base (userid, comment) VALUES (?, ?)"_s, {id, comment});
    const QString interpretation = u"INSERT INTO interpretation (ID, value, value_arab) VALUES (?, ?, ?)"_s;
    db.exec(interpretation, {1, u"negative"_s, u"\u0633\u0644\u0628\u064a"_s});
    db.exec(interpretation, {2, u"positive"_s, u"\u0625\u064a\u062c\u0627\u0628\u064a"_s});
    db.exec(interpretation, {3, u"diluted"_s, QVariant(QMetaType(QMetaType::QString))});
    const QString range = u"INSERT INTO VALIDATION (parameter_ID, V_from, v_to, interpretation, suspicious, nw_id) "
                          u"VALUES (?, ?, ?, ?, ?, ?)"_s;
    db.exec(range, {8, 0, 19.99, 3, 1, 2});
    db.exec(range, {8, 20, 49.99, 1, 0, 2});
    db.exec(range, {8, 50, 1000000, 2, 1, 2});
    db.exec(range, {8, -1000, -0.01, 1, 0, 1});
    db.exec(range, {4, 0, 149.99, 1, 0, 2});
    const QString caption = u"INSERT INTO textstrings (\"key\", english, german) VALUES (?, ?, ?)"_s;
    db.exec(caption, {6601, u"Select user"_s, u"Benutzer"_s});
    db.exec(caption, {6602, u"Please select a user"_s, u"Bitte Benutzer w\u00e4hlen"_s});
    db.exec(caption, {6603, u"Samples in session"_s, QString()});
    db.exec(caption, {6604, u"Sample ID"_s, u"Proben-ID"_s});
    db.exec(caption, {6605, u"Result"_s, u"Ergebnis"_s});
    db.exec(caption, {6606, u"Clear session"_s, u"Sitzung l\u00f6schen"_s});
}

std::unique_ptr<EntrySession> EntryFixture::startSession() { return startSession(lab.ctx()); }

std::unique_ptr<EntrySession> EntryFixture::startSession(Context& ctx)
{
    const QString table = CreateSessionTable(ctx.db, ctx.config.RunType, ctx.config.StationId);
    auto session = std::make_unique<EntrySession>(ctx, table);
    session->load();
    return session;
}

Context& EntryFixture::otherStation(const QString& stationId)
{
    m_otherConfig = lab.config;
    m_otherConfig.StationId = stationId;
    m_other = std::make_unique<Context>(Context{m_otherConfig, lab.db(), lab.log, lab.clock});
    return *m_other;
}

int EntryFixture::count(const QString& table)
{
    return lab.db().first(u"SELECT COUNT(*) AS n FROM "_s + lab.db().dialect().quote(table))->value(u"n").toInt();
}

QDateTime EntryFixture::markerTime(const QString& stationId)
{
    return lab.db()
        .first(u"SELECT MAX(time_stamp) AS t FROM quorix_log WHERE log_key = ? AND log_val = 'SessionStart'"_s,
               {stationId})
        ->dateTime(u"t");
}

QStringList EngineNames() { return {u"sqlite"_s, u"postgres"_s}; }

QTestData& EngineRow(const QString& engine, const char* name)
{
    return QTest::addRow("%s %s", qPrintable(engine), name) << engine;
}

} // namespace kestrin::test
