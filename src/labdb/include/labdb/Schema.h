#pragma once

#include "labdb/Dialect.h"

#include <QStringList>

#include <vector>

namespace kestrin {

class Database;

struct ColumnDef {
    QString name;
    ColumnType type;
    int size = 0; // characters, for text columns
};

struct TableDef {
    QString name;
    std::vector<ColumnDef> columns;
    QStringList primaryKey;
    std::vector<QStringList> indexes; // the columns rows are looked up by
};

// Every table of the laboratory database that Kestrin reads or writes.
const std::vector<TableDef>& LabTables();

QStringList LabTableNames();

// The size of a text column of a laboratory table, what values are cut to before they are
// written. A table or column the schema does not hold is a ProgramError.
int ColumnSize(QStringView table, QStringView column);

// The CREATE TABLE and CREATE INDEX statements of one table.
QStringList CreateTableStatements(const Dialect& dialect, const TableDef& table);

// The name of an index: "IX_", the table, "_", its columns joined by "_".
QString IndexName(const TableDef& table, const QStringList& columns);
QString CreateIndexStatement(const Dialect& dialect, const TableDef& table, const QStringList& columns);

// The whole schema as a script for an administrator (T-SQL batches end with GO).
QString SchemaScript(const Dialect& dialect);

// The laboratory tables the database lacks.
QStringList MissingTables(Database& db);

// Kestrin's own tables beside the laboratory's: the import's journal and the export's claims.
// Only "/initdb" creates them: the service's login may have no right to.
QStringList OwnTableNames();

// Throws a ConfigurationError that names those of `tables` the database lacks and "/initdb",
// when it lacks any.
void RequireTables(Database& db, const QStringList& tables);

// The indexes of the schema that tables of the database lack and could take (tables that are
// missing altogether are not counted: they come with their indexes).
QStringList MissingIndexes(Database& db);

// Creates the tables the database lacks, and the indexes that existing tables lack, never
// dropping or altering anything; returns the names of the tables and indexes it created.
// Throws a StartupError naming the indexes an existing table refused, once every table is made.
QStringList CreateMissingTables(Database& db);

} // namespace kestrin
