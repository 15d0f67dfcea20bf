#pragma once

#include "core/Error.h"

namespace kestrin {

// An order message that cannot be stored as it stands; the file goes to the error folder.
class MessageError : public Error {
public:
    using Error::Error;
};

// An order file another program took away while Kestrin held it: no fault of its message.
class OrderFileGone : public Error {
public:
    using Error::Error;
};

} // namespace kestrin
