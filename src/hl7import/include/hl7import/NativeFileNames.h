#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

namespace kestrin {

// A file name whose bytes are no text in the file-name encoding cannot be reached through
// Qt's text paths. These reach such files by their bytes (Unix; on Windows every name is
// text and there are none).

// The names in a folder that do not survive the way to text and back.
QList<QByteArray> UndecodableFileNames(const QString& folder);

// The name as text, every byte that is no text shown as "_".
QString ReadableFileName(const QByteArray& nativeName);

// Renames a file of the folder given by its bytes to a (new, unique) name given as text.
// False when it cannot, with `error` set unless the file is gone.
bool RenameNativeName(const QString& folder, const QByteArray& from, const QString& to, QString* error);

} // namespace kestrin
