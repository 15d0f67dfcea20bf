#pragma once

#include <QByteArray>
#include <QString>

#include <functional>

namespace kestrin {

// A file name whose bytes are no text in the file-name encoding cannot be reached through
// Qt's text paths: the import reaches every name by its bytes (see OrderFolder), and shows it
// as text.

// Every name in a folder (files, folders and others; not "." and ".."), in one pass: as text,
// and by its bytes. Returns why the folder could not be read, or empty text.
QString ForEachFileName(const QString& folder, const std::function<void(const QString&, const QByteArray&)>& visit);

// The name as text, every byte that is no text shown as "_".
QString ReadableFileName(const QByteArray& nativeName);

} // namespace kestrin
