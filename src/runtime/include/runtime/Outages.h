#pragma once

#include <QHash>
#include <QString>

namespace kestrin {

class CommLog;

// Trouble that outlasts a cycle (a share that is not mounted, a folder that cannot be
// written, a lost connection) is logged when it begins and when it is mended, not at every
// cycle. The caller names each kind of trouble by a key of its own choosing.
class Outages {
public:
    explicit Outages(CommLog& log)
        : m_log(log)
    {
    }

    // Writes the message as a Monitor line unless this outage was reported with the same
    // message already. Returns whether it wrote.
    bool report(const QString& key, const QString& message);
    // The outage is over: writes `message` as a Monitor line (when there is one) if the
    // outage had been reported, and forgets it. Returns whether it had been reported.
    bool mend(const QString& key, const QString& message = {});
    bool isOpen(const QString& key) const { return m_messages.contains(key); }

private:
    CommLog& m_log;
    QHash<QString, QString> m_messages;
};

} // namespace kestrin
