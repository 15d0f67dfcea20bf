#pragma once

#include <QString>
#include <QStringList>

namespace kestrin {

// The candidate that a name was most likely meant to be: the nearest by edit distance
// (a transposition counts as one edit), ignoring case and surrounding blanks, and only when
// it is near enough (one edit for short names, up to three for long ones). Empty when none is;
// of equally near ones the first.
QString NearestName(QStringView name, const QStringList& candidates);

} // namespace kestrin
