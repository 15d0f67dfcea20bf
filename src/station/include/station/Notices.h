#pragma once

#include <QSet>
#include <QString>

namespace kestrin {

// Standing problems (a folder that cannot be written, a file that cannot be taken) said once
// when they begin, not at every cycle, and once more when they are mended.
class Notices {
public:
    // True the first time a problem is raised since it was last mended: say it then.
    bool raise(const QString& key)
    {
        if (m_standing.contains(key))
            return false;
        m_standing.insert(key);
        return true;
    }
    // True when the problem was standing: say that it is mended.
    bool mend(const QString& key) { return m_standing.remove(key); }
    bool standing(const QString& key) const { return m_standing.contains(key); }

private:
    QSet<QString> m_standing;
};

} // namespace kestrin
