#include "config/PlatformDefaults.h"

using namespace Qt::StringLiterals;

namespace kestrin {

QString DefaultOdbcDriver()
{
#ifdef Q_OS_WIN
    return u"ODBC Driver 17 for SQL Server"_s;
#else
    return u"FreeTDS"_s;
#endif
}

QString DefaultSerialDevice(int portNumber)
{
#ifdef Q_OS_WIN
    return u"COM%1"_s.arg(portNumber);
#else
    return u"/dev/ttyS%1"_s.arg(portNumber - 1);
#endif
}

} // namespace kestrin
