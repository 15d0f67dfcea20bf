#include "core/Version.h"

namespace kestrin {

QString KestrinVersion() { return QStringLiteral(KESTRIN_VERSION); }

} // namespace kestrin
