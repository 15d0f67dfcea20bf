#pragma once

#include "config/AppConfig.h"

#include <QStringList>

namespace kestrin {

enum class CycleChoice { None, Import, Export, All };

// Kestrin's own switches, beside the laboratory's.
struct RunOptions {
    QString IniPath;                       // "/ini=PATH": this INI file instead of the usual one
    bool Check = false;                    // "/check": print the effective settings, test, exit
    bool Help = false;                     // "/help", "-h", "--help"
    bool Version = false;                  // "/version", "--version"
    bool Headless = false;                 // "/headless": the service without windows
    bool InitDb = false;                   // "/initdb": create missing tables, exit
    bool Status = false;                   // "/status": the station's health, exit
    CycleChoice Cycle = CycleChoice::None; // "/cycle=import|export|all"

    bool showsWindows() const
    {
        return !Check && !Help && !Version && !Headless && !InitDb && !Status && Cycle == CycleChoice::None;
    }
};

struct CommandLine {
    CommandLineSettings settings;
    RunOptions run;
    QStringList errors; // one clear message per switch that cannot be used
    bool typeGiven = false;
};

// Parses the program's arguments (without the program name). The laboratory's switches
// follow the rules of its start-up scripts: the arguments are joined into one text which is
// split at every "/". "/ini=PATH", "-h" and "--help" are taken whole from their argument
// first, so that a path may hold "/".
CommandLine ParseCommandLine(const QStringList& arguments);

// The help text of "/help".
QString CommandLineHelp();
// The line "/version" prints, and the log and "/check" name the program by.
QString VersionLine();

} // namespace kestrin
