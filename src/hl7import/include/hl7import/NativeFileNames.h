#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <functional>

namespace kestrin {

// A file name whose bytes are no text in the file-name encoding cannot be reached through
// Qt's text paths. These reach such files by their bytes (Unix; on Windows every name is
// text and there are none).

// Every name in a folder (files, folders and others; not "." and ".."), in one pass: as text,
// and with its bytes where the text does not lead back to them. Returns why the folder could
// not be read, or empty text.
QString ForEachFileName(const QString& folder, const std::function<void(const QString&, const QByteArray&)>& visit);

// The name as text, every byte that is no text shown as "_".
QString ReadableFileName(const QByteArray& nativeName);

// Renames a file of the folder given by its bytes to a (new, unique) name given as text.
// False when it cannot, with `error` set unless the file is gone.
bool RenameNativeName(const QString& folder, const QByteArray& from, const QString& to, QString* error);

} // namespace kestrin
