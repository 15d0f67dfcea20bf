#include "core/Clock.h"

namespace kestrin {

void NameSystemTimeZone()
{
#ifndef Q_OS_WIN
    if (qEnvironmentVariableIsEmpty("TZ"))
        qputenv("TZ", ":/etc/localtime");
#endif
}

} // namespace kestrin
