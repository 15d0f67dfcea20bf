#include "config/RunMode.h"

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
    switch (mode) {
    case RunMode::Service:
        return u"service"_s;
    case RunMode::QcLink:
        return u"QC link"_s;
    case RunMode::SampleIdStation:
        return u"sample-ID station"_s;
    case RunMode::EntryStation:
        return u"entry station"_s;
    case RunMode::OtherType:
        return u"other type"_s;
    }
    return {};
}

} // namespace kestrin
