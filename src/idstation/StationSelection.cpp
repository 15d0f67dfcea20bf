#include "idstation/StationSelection.h"

#include "FixedTexts.h"

using namespace Qt::StringLiterals;

namespace kestrin {

QString ControlLevelName(ControlLevel level)
{
    switch (level) {
    case ControlLevel::Low:
        return idstationtexts::kLevelLow.toString();
    case ControlLevel::Med:
        return idstationtexts::kLevelMed.toString();
    case ControlLevel::High:
        return idstationtexts::kLevelHigh.toString();
    }
    return {};
}

void StationSelection::selectSample(const QString& sampleId) { set(sampleId, std::nullopt); }

void StationSelection::selectControl(ControlLevel level, const QString& controlId) { set(controlId, level); }

void StationSelection::clear() { set({}, std::nullopt); }

QString StationSelection::describe() const
{
    if (m_level)
        return u"control \"%1\" (%2)"_s.arg(m_id, ControlLevelName(*m_level));
    if (m_id.isEmpty())
        return u"none, the next measurement is ignored"_s;
    return u"sample \"%1\""_s.arg(m_id);
}

void StationSelection::set(const QString& id, std::optional<ControlLevel> level)
{
    if (id == m_id && level == m_level)
        return;
    m_id = id;
    m_level = level;
    emit changed();
}

} // namespace kestrin
