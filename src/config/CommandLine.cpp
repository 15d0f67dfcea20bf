#include "config/CommandLine.h"

#include "config/IniLocation.h"
#include "core/Numbers.h"
#include "core/Version.h"

#include <array>

using namespace Qt::StringLiterals;

namespace kestrin {

namespace {

QString withoutBlanks(QString value) { return value.remove(u' '); }

// The key before the first "=", the rest with every further "=" dropped.
std::pair<QString, QString> splitSwitch(QStringView piece)
{
    const qsizetype equals = piece.indexOf(u'=');
    if (equals < 0)
        return {piece.toString(), QString()};
    QString value = piece.mid(equals + 1).toString();
    value.remove(u'=');
    return {piece.left(equals).toString(), value};
}

// The field of the switch named `key` in a table of switches, or none.
template <class Field, std::size_t Size>
Field fieldNamed(const std::array<std::pair<QStringView, Field>, Size>& switches, QStringView key)
{
    for (const auto& [name, field] : switches) {
        if (name == key)
            return field;
    }
    return nullptr;
}

using TextSwitch = std::pair<QStringView, QString CommandLineSettings::*>;
using FlagSwitch = std::pair<QStringView, bool RunOptions::*>;

// The laboratory's switches whose value is a text without blanks.
constexpr std::array<TextSwitch, 5> kTextSwitches{{{u"id", &CommandLineSettings::StationId},
                                                   {u"outtype", &CommandLineSettings::OutType},
                                                   {u"outid", &CommandLineSettings::OutId},
                                                   {u"autoreq", &CommandLineSettings::AutoReq},
                                                   {u"autoval", &CommandLineSettings::AutoVal}}};

// Kestrin's switches that only say what to do.
constexpr std::array<FlagSwitch, 6> kFlagSwitches{{{u"check", &RunOptions::Check},
                                                   {u"help", &RunOptions::Help},
                                                   {u"version", &RunOptions::Version},
                                                   {u"headless", &RunOptions::Headless},
                                                   {u"initdb", &RunOptions::InitDb},
                                                   {u"status", &RunOptions::Status}}};

// Kestrin's own switches are often written without a value ("/check /id=X"), so their key
// may carry the blank that separated the arguments.
void applyKestrinSwitch(CommandLine& result, const QString& key, const QString& value)
{
    RunOptions& run = result.run;
    if (const auto flag = fieldNamed(kFlagSwitches, key)) {
        run.*flag = true;
    } else if (key == u"ini") {
        run.IniPath = value.trimmed();
    } else if (key == u"cycle") {
        const QString choice = withoutBlanks(value);
        if (choice == u"import")
            run.Cycle = CycleChoice::Import;
        else if (choice == u"export")
            run.Cycle = CycleChoice::Export;
        else if (choice == u"all")
            run.Cycle = CycleChoice::All;
        else
            result.errors << u"Switch /cycle: \"%1\" is none of import, export, all."_s.arg(value.trimmed());
    } else if (!key.isEmpty()) {
        result.settings.UnknownSwitches << u"/"_s + (value.isEmpty() ? key : key + u'=' + value).trimmed();
    }
}

void applySwitch(CommandLine& result, const QString& key, const QString& value)
{
    CommandLineSettings& s = result.settings;
    if (const auto text = fieldNamed(kTextSwitches, key)) {
        s.*text = withoutBlanks(value);
    } else if (key == u"type") {
        s.RunType = withoutBlanks(value);
        result.typeGiven = true;
    } else if (key == u"com") {
        s.ComPort = LeadingNumber(value);
    } else if (key == u"outcom") {
        s.OutPort = LeadingNumber(value);
    } else if (key == u"test") {
        const auto number = ToInt16(withoutBlanks(value));
        if (number)
            s.TestParameter = *number;
        else
            result.errors << u"Switch /test: \"%1\" is no whole number from -32768 to 32767."_s.arg(value.trimmed());
    } else {
        applyKestrinSwitch(result, key.trimmed(), value);
    }
}

} // namespace

CommandLine ParseCommandLine(const QStringList& arguments)
{
    CommandLine result;
    QStringList rest;
    for (const QString& argument : arguments) {
        if (argument.startsWith(u"/ini="))
            result.run.IniPath = argument.mid(5);
        else if (argument == u"-h" || argument == u"--help" || argument == u"-?" || argument == u"/?")
            result.run.Help = true;
        else if (argument == u"--version" || argument == u"-v" || argument == u"-V")
            result.run.Version = true;
        else
            rest << argument;
    }
    const QString text = rest.join(u' ');
    const QStringList pieces = text.split(u'/');
    if (const QString before = pieces.first().trimmed(); !before.isEmpty())
        result.settings.UnknownSwitches << before;
    for (qsizetype i = 1; i < pieces.size(); ++i) {
        const auto [key, value] = splitSwitch(pieces.at(i));
        applySwitch(result, key, value);
    }
    const RunModeChoice choice =
        ChooseRunMode(result.typeGiven ? std::optional(result.settings.RunType) : std::nullopt);
    result.settings.Mode = choice.mode;
    result.settings.ExportTimerEnabled = choice.exportCycle;
    if (result.run.Cycle == CycleChoice::Export && !choice.exportCycle)
        result.errors << u"Switch /cycle=export: the export is switched off for /type=%1 (only MGC or no type "
                         u"exports)."_s.arg(result.settings.RunType);
    return result;
}

QString CommandLineHelp()
{
    return VersionLine() + uR"(
Usage: kestrin [/switch=value ...]

Laboratory switches (keys are case-sensitive; blanks in values are removed):
  /id=STATION      station identity; names the log file and the work table (default HL7)
  /type=MODE       run mode: INPUT (manual result entry), ACT (sample-ID station),
                   MGC (quality-control orders into the analyser database); any type
                   other than MGC switches the result export off. Without a type
                   Kestrin is the import and export service.
  /com=N           open serial port N (COMn on Windows, /dev/ttyS(N-1) or ComDevice1)
  /outtype=KIND    kind of the second serial connection
  /outcom=N        second serial port; opened only together with /outtype
  /outid=ID        identity of the second connection
  /autoreq=VALUE   automatic request setting of the station (default 0)
  /autoval=VALUE   a number: other than 0, the entry station validates results at once
  /test=N          parameter number the manual entry station records results for

Kestrin's own switches:
  /ini=PATH        read this INI file (the path runs to the end of its argument)
  /check           print the effective settings, test the database and the folders, exit
  /cycle=WHICH     run one cycle without windows and exit: import, export or all (the
                   export only where /type lets it run); exit status 0 all items handled,
                   1 an item failed and was kept safe, 2 start-up failed or a cycle
                   could not run
  /headless        run the service without windows or tray icon (servers, services)
  /initdb          create the missing tables and indexes in the configured database and
                   exit; never drops or alters a table
  /status          the station's health for monitoring: order files waiting, failed
                   files, results queued, the last cycles, the database, whether the
                   service runs; exit status 0 healthy, 1 something needs attention,
                   2 the configuration cannot be read
  /help, /?, -h, -?, --help
                   this text
  /version, -v, -V, --version
                   the program's version
Switches Kestrin does not know are said on stderr, in the log and by /check, and ignored.

Exit status of a start: 0 ended as asked, 2 start-up failed (a database that does not
answer, a serial port, a second start of a running station), 78 the configuration (INI file
or switches) cannot work: starting again will not help.

Without /ini the INI file is the first of these that exists: %1.
)"_s.arg(IniFileCandidates(u"<program folder>"_s).join(u", "_s));
}

QString VersionLine() { return u"Kestrin "_s + KestrinVersion(); }

} // namespace kestrin
