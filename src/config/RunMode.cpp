#include "config/RunMode.h"

#include <array>

using namespace Qt::StringLiterals;

namespace kestrin {

RunModeChoice ChooseRunMode(const std::optional<QString>& type)
{
    if (!type)
        return {};
    RunModeChoice choice;
    choice.exportCycle = type->toUpper() == u"MGC";
    if (*type == u"MGC")
        choice.mode = RunMode::QcLink;
    else if (*type == u"ACT")
        choice.mode = RunMode::SampleIdStation;
    else if (*type == u"INPUT")
        choice.mode = RunMode::EntryStation;
    else
        choice.mode = RunMode::OtherType;
    return choice;
}

QString RunModeName(RunMode mode)
{
    // In the order of RunMode.
    static constexpr std::array<QStringView, 5> names{u"service", u"QC link", u"sample-ID station", u"entry station",
                                                      u"other type"};
    return names.at(static_cast<std::size_t>(mode)).toString();
}

} // namespace kestrin
