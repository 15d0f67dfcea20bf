#pragma once

#include "config/AppConfig.h"

#include <QStringList>

namespace kestrin {

// Whether the key "server" names this machine: empty, (local), ".", localhost, a loopback
// address or a Unix socket's folder, with or without port or instance.
bool ServerIsThisMachine(const QString& server);

// What "/check" warns of in how the laboratory database is reached: a server on another
// machine without encryption, or whose certificate or host name is not verified; an INI file
// that every user of this machine may read while it holds DbPassword.
QStringList ConnectionSecurityWarnings(const AppConfig& config);

} // namespace kestrin
