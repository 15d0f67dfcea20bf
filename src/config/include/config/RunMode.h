#pragma once

#include <QString>

#include <optional>

namespace kestrin {

// What a run of Kestrin is, chosen by the "/type" switch (RunModeName lists them in this order).
enum class RunMode {
    Service,         // no type: the unattended import and export service
    QcLink,          // "MGC": quality-control orders into the analyser's database, then the service
    SampleIdStation, // "ACT": the sample-ID station beside an analyser
    EntryStation,    // "INPUT": the manual result entry station
    OtherType,       // any other type: no station, and no export
};

struct RunModeChoice {
    RunMode mode = RunMode::Service;
    bool exportCycle = true;
};

// The two rules the laboratory's start-up scripts rely on, side by side: the station is
// chosen by the exact, case-sensitive type ("input" shows no station), while the export
// cycle is switched off by any type that is not MGC in any case ("mgc" keeps it).
// `type` is the switch's value without blanks; nothing when no type switch was given.
RunModeChoice ChooseRunMode(const std::optional<QString>& type);

// The run mode's name for messages and "/check".
QString RunModeName(RunMode mode);

} // namespace kestrin
