#include "hl7import/OrderMessage.h"

namespace kestrin {

void ClearMessageBuffers(OrderMessage& message) { message = OrderMessage(); }

} // namespace kestrin
