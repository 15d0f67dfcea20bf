#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace kestrin::test {

// Time zone Europe/Berlin (it has summer time, which finds local/UTC mix-ups), the C
// locale, and the offscreen window platform. Call before the application object exists.
void PinEnvironment();

// Writes a file, creating its folder; fails the test's assumptions loudly when it cannot.
void WriteFile(const QString& path, const QByteArray& content);
QByteArray ReadFile(const QString& path);

// The names of the files in a folder, sorted; empty when the folder is missing.
QStringList FileNames(const QString& folder);

// The built kestrin program and the source tree, as CTest hands them to the tests.
QString KestrinProgram();
QString SourceDir();

} // namespace kestrin::test
