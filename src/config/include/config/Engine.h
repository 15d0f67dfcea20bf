#pragma once

#include <QStringList>

#include <optional>

namespace kestrin {

// The database engines of the laboratory database, chosen by the INI key "engine".
enum class Engine { SqlServer, Sqlite, Postgres };

// The engine as the INI file and "/check" write it: "sqlserver", "sqlite", "postgres".
QString EngineName(Engine engine);

// The engine an INI value names, in any case; PostgreSQL is often written by its full name.
// None for a name Kestrin does not know.
std::optional<Engine> EngineNamed(const QString& name);

// The names of the engines the key "engine" may name, in any case.
QStringList KnownEngines();

} // namespace kestrin
