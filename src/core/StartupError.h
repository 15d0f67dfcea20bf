#pragma once

#include "core/Error.h"

namespace kestrin {

// Start-up cannot go on: the message says what failed and where; the program ends with
// exit status 2.
class StartupError : public Error {
public:
    using Error::Error;
};

} // namespace kestrin
