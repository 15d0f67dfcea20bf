#pragma once

#include "config/Engine.h"
#include "labdb/Dialect.h"

#include <memory>

namespace kestrin {

// The dialect of a laboratory database engine.
std::unique_ptr<Dialect> MakeDialect(Engine engine);

} // namespace kestrin
