#pragma once

#include "labdb/Dialect.h"

#include <memory>

namespace kestrin {

// The base of an engine's dialect: it hands the dialect's column types to Dialect, and
// another() makes a fresh dialect of the same class.
template <class Self, const ColumnTypeNames& columnTypes> class EngineDialect : public Dialect {
public:
    EngineDialect()
        : Dialect(columnTypes)
    {
    }

    std::unique_ptr<Dialect> another() const override { return std::make_unique<Self>(); }
};

// The dialect of each engine, each in a file of its own.
std::unique_ptr<Dialect> NewSqliteDialect();
std::unique_ptr<Dialect> NewPostgresDialect();
std::unique_ptr<Dialect> NewSqlServerDialect();
std::unique_ptr<Dialect> NewAccessDialect();

} // namespace kestrin
