#pragma once

#include "config/AppConfig.h"
#include "labdb/Connection.h"

#include <QDir>

namespace kestrin::test {

// The settings of a whole run of Kestrin on an embedded database in a temporary folder.
inline AppConfig ServiceConfig(const QString& folder)
{
    const QDir dir(folder);
    AppConfig c;
    c.ComputerName = QStringLiteral("LABPC");
    c.Engine = Engine::Sqlite;
    c.DatabaseName = dir.filePath(QStringLiteral("lab.sqlite"));
    c.ComLogPath = dir.filePath(QStringLiteral("log/"));
    c.ImportPath = dir.filePath(QStringLiteral("in/"));
    c.ExportPath = dir.filePath(QStringLiteral("out/"));
    c.ShiftLength = 8;
    c.FirstShift = QStringLiteral("01.01.2019 06:00:00");
    return c;
}

// Creates the embedded database of a run's settings with every table, as "/initdb" does: no
// other start makes one.
inline void InitDb(const AppConfig& config) { ConnectDatabase(ConnectionSettingsOf(config), MissingDatabase::Created); }

} // namespace kestrin::test
