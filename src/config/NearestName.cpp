#include "NearestName.h"

#include <algorithm>
#include <vector>

namespace kestrin {

namespace {

qsizetype allowedEdits(qsizetype length) { return std::clamp<qsizetype>(length / 4, 1, 3); }

// Edits (insert, delete, replace, swap of neighbours) that turn a into b.
qsizetype editDistance(const QString& a, const QString& b)
{
    const qsizetype n = a.size();
    const qsizetype m = b.size();
    // Three rows suffice: the swap looks two back.
    std::vector<qsizetype> twoBack(m + 1), previous(m + 1), current(m + 1);
    for (qsizetype j = 0; j <= m; ++j)
        previous[j] = j;
    for (qsizetype i = 1; i <= n; ++i) {
        current[0] = i;
        for (qsizetype j = 1; j <= m; ++j) {
            const qsizetype cost = a.at(i - 1) == b.at(j - 1) ? 0 : 1;
            current[j] = std::min({previous[j] + 1, current[j - 1] + 1, previous[j - 1] + cost});
            if (i > 1 && j > 1 && a.at(i - 1) == b.at(j - 2) && a.at(i - 2) == b.at(j - 1))
                current[j] = std::min(current[j], twoBack[j - 2] + 1);
        }
        std::swap(twoBack, previous);
        std::swap(previous, current);
    }
    return previous[m];
}

} // namespace

QString NearestName(QStringView name, const QStringList& candidates)
{
    const QString written = name.trimmed().toString().toCaseFolded();
    QString nearest;
    qsizetype nearestEdits = 0;
    for (const QString& candidate : candidates) {
        const qsizetype allowed = allowedEdits(candidate.size());
        // The edits are at least the difference in length; a long line is never compared.
        if (qAbs(written.size() - candidate.size()) > allowed)
            continue;
        const qsizetype edits = editDistance(written, candidate.toCaseFolded());
        if (edits <= allowed && (nearest.isEmpty() || edits < nearestEdits)) {
            nearest = candidate;
            nearestEdits = edits;
        }
    }
    return nearest;
}

} // namespace kestrin
