#pragma once

#include "config/CommandLine.h"

#include <optional>

namespace kestrin {

// The windowed program, installed beside "kestrin"; it runs the runs without windows too.
inline constexpr QStringView kWindowedProgram = u"kestrin-stations";

// What a run would show in its windows ("the entry station of run type INPUT"); nothing for a
// run without windows.
std::optional<QString> WindowsShown(const CommandLine& commandLine);

// Why a run with windows cannot start where `missingProgram`, the windowed program, is not
// installed; the service is pointed to "/headless".
QString FullProgramNeeded(const CommandLine& commandLine, const QString& missingProgram);

} // namespace kestrin
