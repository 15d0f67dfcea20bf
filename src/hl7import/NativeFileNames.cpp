#include "hl7import/NativeFileNames.h"

#include "core/FolderHandle.h"

namespace kestrin {

QString ForEachFileName(const QString& folder, const std::function<void(const QString&, const QByteArray&)>& visit)
{
    return FolderHandle::Open(folder).forEachName(visit);
}

} // namespace kestrin
