#include "labdb/Schema.h"

#include "core/Error.h"
#include "labdb/Database.h"
#include "labdb/DbError.h"

#include <algorithm>

using namespace Qt::StringLiterals;

namespace kestrin {

namespace {

ColumnDef text(const char16_t* name, int size) { return {QString::fromUtf16(name), ColumnType::Text, size}; }
ColumnDef integer(const char16_t* name) { return {QString::fromUtf16(name), ColumnType::Integer}; }
ColumnDef real(const char16_t* name) { return {QString::fromUtf16(name), ColumnType::Real}; }
ColumnDef date(const char16_t* name) { return {QString::fromUtf16(name), ColumnType::DateTime}; }
ColumnDef flag(const char16_t* name) { return {QString::fromUtf16(name), ColumnType::Boolean}; }
ColumnDef identity(const char16_t* name) { return {QString::fromUtf16(name), ColumnType::Identity}; }

std::vector<TableDef> makeTables()
{
    return {
        {u"SAMPLE_BASE"_s,
         {text(u"SAMPLE_ID", 19), text(u"SI_ID", 14), integer(u"P_ID"), text(u"CUST_ID", 20), text(u"STATUS_1", 20),
          date(u"ENTRY_DAT"), date(u"LAST_CHANGE_DAT"), date(u"COLL_DAT"), text(u"COMMENT_COLL", 255),
          text(u"COMMENT_COM", 255), text(u"COMMENT_D_M", 255), text(u"SAMPLE_MAT", 1), text(u"ADD3", 14),
          text(u"ENTRY_USER", 10)},
         {u"SAMPLE_ID"_s},
         {{u"SI_ID"_s}, {u"STATUS_1"_s}, {u"P_ID"_s}}},
        {u"PATIENTS"_s,
         {identity(u"P_ID"), text(u"SI_ID", 14), text(u"SURNAME", 30), text(u"FORENAME", 30), text(u"SEX", 1),
          date(u"BIRTH"), date(u"ENTRY_DATE")},
         {},
         {{u"SI_ID"_s}}},
        {u"CUSTOMER"_s, {text(u"CUST_ID", 20), text(u"CUST_NAME", 60), date(u"CREATED")}, {u"CUST_ID"_s}, {}},
        {u"REQUEST"_s,
         {text(u"SAMPLE_ID", 18), integer(u"PARAMETER_ID"), text(u"RESULT", 50), text(u"ANALYZER_ID", 20),
          date(u"TIME_STAMP")},
         {},
         {{u"SAMPLE_ID"_s}, {u"PARAMETER_ID"_s}}},
        {u"REQ2SEND"_s, {text(u"SAMPLE_ID", 19), integer(u"PARAMETER_ID")}, {}, {{u"SAMPLE_ID"_s}}},
        {u"HL7_STRINGS"_s,
         {text(u"ORDER_ID", 20), text(u"STRING_DEF", 10), integer(u"STRING_DEF_CTR"), text(u"STRING_TEXT", 2000),
          date(u"TIME_STAMP")},
         {},
         {{u"ORDER_ID"_s, u"STRING_DEF"_s}}},
        {u"TEST_DEF"_s,
         {integer(u"PARAMETER_ID"), text(u"SHORT", 20), text(u"LONG", 60), text(u"UNIT", 20), text(u"CUTOFF", 20),
          text(u"IMP_CODE_LDT", 20), integer(u"PRINT_POS")},
         {u"PARAMETER_ID"_s},
         {{u"IMP_CODE_LDT"_s}}},
        {u"RESULTS"_s,
         {text(u"SAMPLE_ID", 19), integer(u"PARAMETER_ID"), text(u"RESULT", 50), text(u"INTERPRETATION", 60),
          text(u"INTERPRETATION_ARAB", 60), flag(u"SUSPICIOUS"), text(u"ANALYZER_ID", 20), text(u"R_VALIDATOR", 20),
          date(u"MEAS_TIME_STAMP"), date(u"VAL_TIME_STAMP")},
         {},
         {{u"SAMPLE_ID"_s, u"PARAMETER_ID"_s}, {u"MEAS_TIME_STAMP"_s}}},
        {u"RAW_RESULTS"_s,
         {text(u"SAMPLE_ID", 19), integer(u"PARAMETER_ID"), date(u"TIME_STAMP"), text(u"RESULT", 50),
          text(u"ANALYZER_ID", 20)},
         {},
         {{u"SAMPLE_ID"_s, u"PARAMETER_ID"_s}}},
        {u"CONTROL_RESULTS"_s,
         {text(u"CONTROL_ID", 20), integer(u"PARAMETER_ID"), date(u"TIME_STAMP"), text(u"RESULT", 50),
          text(u"ANALYZER_ID", 20)},
         {},
         {{u"CONTROL_ID"_s}, {u"TIME_STAMP"_s}}},
        {u"control_base"_s, {text(u"control_id", 20), text(u"name", 60)}, {}, {{u"control_id"_s}}},
        {u"control_def"_s,
         {text(u"control_id", 20), integer(u"parameter_id")},
         {},
         {{u"control_id"_s}, {u"parameter_id"_s}}},
        {u"control_block"_s,
         {text(u"control_id", 20), integer(u"parameter_id"), text(u"analyzer_id", 20)},
         {},
         {{u"control_id"_s, u"analyzer_id"_s}}},
        {u"param2channel"_s,
         {integer(u"parameter_id"), text(u"analyzer_id", 20), integer(u"channel_id")},
         {},
         {{u"analyzer_id"_s}, {u"parameter_id"_s}}},
        {u"VALIDATION"_s,
         {integer(u"parameter_ID"), real(u"V_from"), real(u"v_to"), integer(u"interpretation"), integer(u"suspicious"),
          integer(u"nw_id")},
         {},
         {{u"parameter_ID"_s}}},
        {u"interpretation"_s, {integer(u"ID"), text(u"value", 60), text(u"value_arab", 60)}, {u"ID"_s}, {}},
        {u"user_base"_s, {text(u"userid", 20), text(u"comment", 60)}, {}, {}},
        {u"textstrings"_s, {integer(u"key"), text(u"english", 255), text(u"german", 255)}, {u"key"_s}, {}},
        {u"quorix_log"_s, {date(u"time_stamp"), text(u"log_key", 50), text(u"log_val", 255)}, {}, {{u"log_key"_s}}},
        // Kestrin's own: the claimed order files whose messages are stored.
        {u"KESTRIN_IMPORTS"_s,
         {text(u"CLAIM_NAME", 255), text(u"FILE_NAME", 255), date(u"STORED_AT")},
         {u"CLAIM_NAME"_s},
         {{u"STORED_AT"_s}}},
        // Kestrin's own: which exporter is sending which queued sample.
        {u"KESTRIN_EXPORTS"_s,
         {text(u"SAMPLE_ID", 255), text(u"HOST", 255), integer(u"PID"), date(u"CLAIMED_AT")},
         {u"SAMPLE_ID"_s},
         {}},
    };
}

void createTable(Database& db, const TableDef& table)
{
    Transaction transaction(db);
    for (const QString& statement : CreateTableStatements(db.dialect(), table))
        db.exec(statement);
    transaction.commit();
}

} // namespace

const std::vector<TableDef>& LabTables()
{
    static const std::vector<TableDef> tables = makeTables();
    return tables;
}

QStringList LabTableNames()
{
    QStringList names;
    for (const TableDef& table : LabTables())
        names << table.name;
    return names;
}

int ColumnSize(QStringView table, QStringView column)
{
    for (const TableDef& def : LabTables()) {
        if (def.name.compare(table, Qt::CaseInsensitive) != 0)
            continue;
        for (const ColumnDef& c : def.columns) {
            if (c.name.compare(column, Qt::CaseInsensitive) == 0 && c.type == ColumnType::Text)
                return c.size;
        }
    }
    throw ProgramError(u"The schema has no text column %1.%2."_s.arg(table.toString(), column.toString()));
}

namespace {

// The indexes of the schema that an existing table lacks and can have (it has their columns).
QList<QStringList> missingIndexes(Database& db, const TableDef& table)
{
    QList<QStringList> missing;
    QStringList columns;
    for (const QStringList& index : table.indexes) {
        if (db.first(db.dialect().indexExistsQuery(), {table.name, IndexName(table, index)}))
            continue;
        if (columns.isEmpty())
            columns = db.columns(table.name);
        if (std::ranges::all_of(index, [&](const QString& c) { return columns.contains(c, Qt::CaseInsensitive); }))
            missing << index;
    }
    return missing;
}

} // namespace

QStringList CreateTableStatements(const Dialect& dialect, const TableDef& table)
{
    QStringList columns;
    for (const ColumnDef& column : table.columns)
        columns << dialect.quote(column.name) + u' ' + dialect.columnType(column.type, column.size);
    if (!table.primaryKey.isEmpty()) {
        QStringList key;
        for (const QString& name : table.primaryKey)
            key << dialect.quote(name);
        columns << u"PRIMARY KEY ("_s + key.join(u", ") + u')';
    }
    QStringList statements{u"CREATE TABLE %1 (\n    %2\n)"_s.arg(dialect.quote(table.name), columns.join(u",\n    "))};
    for (const QStringList& index : table.indexes)
        statements << CreateIndexStatement(dialect, table, index);
    return statements;
}

QString IndexName(const TableDef& table, const QStringList& columns)
{
    return u"IX_"_s + table.name + u'_' + columns.join(u'_');
}

QString CreateIndexStatement(const Dialect& dialect, const TableDef& table, const QStringList& columns)
{
    QStringList quoted;
    for (const QString& name : columns)
        quoted << dialect.quote(name);
    return u"CREATE INDEX %1 ON %2 (%3)"_s.arg(dialect.quote(IndexName(table, columns)), dialect.quote(table.name),
                                               quoted.join(u", "));
}

QString SchemaScript(const Dialect& dialect)
{
    const QString end = dialect.scriptStatementEnd();
    QString script = u"-- The laboratory database as Kestrin uses it (%1).\n\n"_s.arg(dialect.engine());
    for (const TableDef& table : LabTables()) {
        for (const QString& statement : CreateTableStatements(dialect, table))
            script += statement + end;
        script += u'\n';
    }
    return script;
}

QStringList MissingTables(Database& db)
{
    QStringList missing = LabTableNames();
    missing.removeIf([&](const QString& table) { return db.tableExists(table); });
    return missing;
}

QStringList OwnTableNames() { return {u"KESTRIN_IMPORTS"_s, u"KESTRIN_EXPORTS"_s}; }

void RequireTables(Database& db, const QStringList& tables)
{
    QStringList missing = tables;
    missing.removeIf([&](const QString& table) { return db.tableExists(table); });
    if (missing.isEmpty())
        return;
    const bool one = missing.size() == 1;
    throw ConfigurationError(
        u"Kestrin's own %1 %2 %3 missing in %4: kestrin /initdb creates %5 (run it once with a login that may "
        u"create tables)."_s.arg(one ? u"table"_s : u"tables"_s, missing.join(u", "), one ? u"is"_s : u"are"_s,
                                 db.description(), one ? u"it"_s : u"them"_s));
}

QStringList MissingIndexes(Database& db)
{
    QStringList missing;
    for (const TableDef& table : LabTables()) {
        if (!db.tableExists(table.name))
            continue;
        for (const QStringList& index : missingIndexes(db, table))
            missing << IndexName(table, index);
    }
    return missing;
}

QStringList CreateMissingTables(Database& db)
{
    const QStringList missing = MissingTables(db);
    for (const TableDef& table : LabTables()) {
        if (missing.contains(table.name))
            createTable(db, table);
    }
    // Tables of older versions, or of other software, get the indexes added since. One such
    // table may refuse one (another owner's table, a view, the name taken): the tables are
    // made first, and each index is tried on its own.
    QStringList created = missing;
    QStringList refused;
    for (const TableDef& table : LabTables()) {
        if (missing.contains(table.name))
            continue;
        for (const QStringList& index : missingIndexes(db, table)) {
            try {
                db.exec(CreateIndexStatement(db.dialect(), table, index));
                created << IndexName(table, index);
            } catch (const DbError& e) {
                refused << u"%1 (%2)"_s.arg(IndexName(table, index), e.driverText().simplified());
            }
        }
    }
    if (!refused.isEmpty())
        throw StartupError(u"%1 takes not every index: %2. Kestrin works without them, only slower; every table is "
                           u"there."_s.arg(db.description(), refused.join(u", ")));
    return created;
}

} // namespace kestrin
