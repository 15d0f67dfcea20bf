#pragma once

#include <QString>

namespace kestrin {

// The ODBC driver for SQL Server when the INI file names none.
QString DefaultOdbcDriver();

// The device of serial port n when the INI file names none: COMn on Windows, /dev/ttyS(n-1)
// elsewhere.
QString DefaultSerialDevice(int portNumber);

} // namespace kestrin
