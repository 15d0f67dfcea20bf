#include "config/Engine.h"

using namespace Qt::StringLiterals;

namespace kestrin {

namespace {

struct EngineText {
    Engine engine;
    QStringView name;
};

// In the order messages list them.
constexpr EngineText kEngines[] = {
    {Engine::Sqlite, u"sqlite"},
    {Engine::Postgres, u"postgres"},
    {Engine::SqlServer, u"sqlserver"},
};

} // namespace

QString EngineName(Engine engine)
{
    for (const EngineText& known : kEngines) {
        if (known.engine == engine)
            return known.name.toString();
    }
    return {};
}

std::optional<Engine> EngineNamed(const QString& name)
{
    const QString lower = name.toLower();
    const QString canonical = lower == u"postgresql" ? u"postgres"_s : lower;
    for (const EngineText& known : kEngines) {
        if (known.name == canonical)
            return known.engine;
    }
    return std::nullopt;
}

QStringList KnownEngines()
{
    QStringList names;
    for (const EngineText& known : kEngines)
        names << known.name.toString();
    return names;
}

} // namespace kestrin
