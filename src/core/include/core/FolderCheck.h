#pragma once

#include <QString>

namespace kestrin {

struct FolderState {
    bool usable = false;
    QString description; // "exists", "will be created", or why it cannot be used
};

// Whether Kestrin can work in a folder: it exists and is writable, or it can be created
// below the nearest folder that exists. Creates nothing.
FolderState CheckFolder(const QString& path);

} // namespace kestrin
