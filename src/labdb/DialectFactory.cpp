#include "labdb/DialectFactory.h"

#include "Dialects.h"

namespace kestrin {

std::unique_ptr<Dialect> MakeDialect(Engine engine)
{
    switch (engine) {
    case Engine::Sqlite:
        return NewSqliteDialect();
    case Engine::Postgres:
        return NewPostgresDialect();
    case Engine::SqlServer:
        return NewSqlServerDialect();
    }
    return nullptr;
}

} // namespace kestrin
