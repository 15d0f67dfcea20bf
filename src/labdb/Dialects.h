#pragma once

#include "labdb/Dialect.h"

#include <memory>

namespace kestrin {

// The dialect of each engine, each in a file of its own.
std::unique_ptr<Dialect> NewSqliteDialect();
std::unique_ptr<Dialect> NewPostgresDialect();
std::unique_ptr<Dialect> NewSqlServerDialect();
std::unique_ptr<Dialect> NewAccessDialect();

} // namespace kestrin
