#include "hl7import/NativeFileNames.h"

#include "hl7import/OrderFolder.h"

#include <QFile>

namespace kestrin {

QString ForEachFileName(const QString& folder, const std::function<void(const QString&, const QByteArray&)>& visit)
{
    return OrderFolder::Open(folder).forEachName(visit);
}

QString ReadableFileName(const QByteArray& nativeName)
{
    QString name = QFile::decodeName(nativeName);
    name.replace(QChar(QChar::ReplacementCharacter), u'_');
    return name;
}

} // namespace kestrin
