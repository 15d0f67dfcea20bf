#include "app/WindowedRun.h"

using namespace Qt::StringLiterals;

namespace kestrin {

std::optional<QString> WindowsShown(const CommandLine& commandLine)
{
    if (!commandLine.run.showsWindows())
        return std::nullopt;
    const QString& type = commandLine.settings.RunType;
    switch (commandLine.settings.Mode) {
    case RunMode::Service:
        break;
    case RunMode::QcLink:
        return u"the QC link's main window (run type %1)"_s.arg(type);
    case RunMode::SampleIdStation:
        return u"the sample-ID station of run type %1"_s.arg(type);
    case RunMode::EntryStation:
        return u"the entry station of run type %1"_s.arg(type);
    case RunMode::OtherType:
        return u"the main window of run type %1"_s.arg(type);
    }
    return u"the service's main window"_s;
}

QString FullProgramNeeded(const CommandLine& commandLine, const QString& missingProgram)
{
    const RunMode mode = commandLine.settings.Mode;
    const bool station = mode == RunMode::EntryStation || mode == RunMode::SampleIdStation;
    return u"this run shows %1 and needs Kestrin's full program with windows: %2 is not installed (package %3)."_s.arg(
               WindowsShown(commandLine).value_or(QString()), missingProgram, kWindowedProgram) +
        (station ? QString() : u" The service runs without windows with /headless."_s);
}

} // namespace kestrin
