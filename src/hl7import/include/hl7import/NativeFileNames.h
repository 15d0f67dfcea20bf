#pragma once

#include <QByteArray>
#include <QString>

#include <functional>

namespace kestrin {

// A file name whose bytes are no text in the file-name encoding cannot be reached through
// Qt's text paths: the import reaches every name by its bytes (see FolderHandle), and shows it
// as text, every byte that is no text as "_".

// Every name in a folder (files, folders and others; not "." and ".."), in one pass: as text,
// and by its bytes. Returns why the folder could not be read, or empty text.
QString ForEachFileName(const QString& folder, const std::function<void(const QString&, const QByteArray&)>& visit);

} // namespace kestrin
