#include "runtime/Outages.h"

#include "runtime/CommLog.h"

namespace kestrin {

bool Outages::report(const QString& key, const QString& message)
{
    const auto known = m_messages.constFind(key);
    if (known != m_messages.cend() && *known == message)
        return false;
    m_messages.insert(key, message);
    m_log.logStatus(message);
    return true;
}

bool Outages::mend(const QString& key, const QString& message)
{
    if (!m_messages.remove(key))
        return false;
    if (!message.isEmpty())
        m_log.logStatus(message);
    return true;
}

} // namespace kestrin
