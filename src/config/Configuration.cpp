#include "config/Configuration.h"

#include "NearestName.h"
#include "PasswordFile.h"
#include "config/CycleSchedule.h"
#include "core/Error.h"
#include "core/Numbers.h"
#include "core/TextChecks.h"
#include "core/TextCodec.h"
#include "core/TextLines.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <algorithm>
#include <array>
#include <variant>

using namespace Qt::StringLiterals;

namespace kestrin {

namespace {

// How a key's value is read, checked and shown by "/check".
enum class Conversion {
    Text,
    Secret,        // text shown masked
    Engine,        // a database engine Kestrin knows, in any case
    Folder,        // trailing separator ensured; empty is an error (it would be the root)
    UnusedFolder,  // the same, but empty is kept: read by nothing
    ImportFolder,  // a folder whose "Done" and "EinleseFehler" folders are derived
    LeadingNumber, // the number the text begins with, else 0
    CycleMinutes,  // a whole number; no number is an error, below 0 is said
    CycleSeconds,  // the same, in seconds
    Milliseconds,  // a whole number of 0 or more
    Bytes,         // a whole number of 1 up to IniSettings::kMostImportMaxBytes
    Files,         // a whole number of 1 or more
    Days,          // a whole number of 0 or more
    Extension,     // three characters without a dot, the only kind a file name can end in
    FileNamePart,  // text put into a file name: nothing that leaves the folder or a file name cannot hold
    Hl7Text,       // text put into a result message as it stands: none of its delimiters
    Format,        // a date or time format of sane length
    SslMode,       // one of PostgreSQL's sslmode values, in any case; empty: the driver's default
    Encrypt,       // the ODBC driver's Encrypt: yes, no or strict; empty: the driver's default
    YesNo,         // yes or no; empty: the driver's default
    OptionFile,    // a file named in the connection's options, which ";" would cut short
};

// The values a key of a choice takes, as the driver wants them written.
QStringList choices(Conversion conversion)
{
    switch (conversion) {
    case Conversion::SslMode:
        return {u"disable"_s, u"allow"_s, u"prefer"_s, u"require"_s, u"verify-ca"_s, u"verify-full"_s};
    case Conversion::Encrypt:
        return {u"yes"_s, u"no"_s, u"strict"_s};
    default:
        return {u"yes"_s, u"no"_s};
    }
}

// A date or time format is read back character by character, at a cost that grows with the
// square of its length; real formats are short.
constexpr qsizetype kMaxFormatLength = 64;
constexpr qint64 kMaxIniBytes = 1024 * 1024;

using Field = std::variant<QString IniSettings::*, double IniSettings::*, qint32 IniSettings::*, qint64 IniSettings::*,
                           std::optional<Engine> IniSettings::*>;

struct IniKey {
    QStringView key;  // as written in the INI file
    QStringView name; // the field's name in "/check"
    Field field;
    Conversion conversion;
    QStringView about; // for the manual page; empty for a second key of a field
};

// Every key of the INI file, in the order the keys are tested and "/check" shows them.
const std::array kIniKeys = {
    IniKey{
        u"language", u"Language", &IniSettings::Language, Conversion::Text,
        u"the column of the table textstrings that captions come from (for example german); English where it has none"},
    IniKey{u"server", u"ServerName", &IniSettings::ServerName, Conversion::Text,
           u"the database server: host[:port]; (local) is this machine"},
    IniKey{u"AccessPath", u"AccessPath", &IniSettings::AccessPath, Conversion::Text,
           u"run mode MGC: the analyser's own order database (an Access file on Windows, an SQLite file elsewhere)"},
    IniKey{u"database", u"DatabaseName", &IniSettings::DatabaseName, Conversion::Text,
           u"the database file (sqlite) or the database's name (postgres, sqlserver); only kestrin /initdb creates a "
           u"database"},
    IniKey{
        u"SQLSVR", u"SqlServerKind", &IniSettings::SqlServerKind, Conversion::Text,
        u"the SQL Server login: 2000 Windows-integrated, quorix the program's own, anything else the administrator's"},
    IniKey{u"AppPath", u"AppPath", &IniSettings::AppPath, Conversion::UnusedFolder,
           u"the program folder, kept for older configurations and read by nothing"},
    IniKey{u"ComLogPath", u"ComLogPath", &IniSettings::ComLogPath, Conversion::Folder,
           u"the folder of the daily communication log"},
    IniKey{u"ImportPath", u"ImportPath", &IniSettings::ImportPath, Conversion::ImportFolder,
           u"the folder the ordering system drops order files into; Done and EinleseFehler below it take them"},
    IniKey{u"ExportPath", u"ExportPath", &IniSettings::ExportPath, Conversion::Folder,
           u"the folder result files are published in, usually the ordering system's share; Kestrin never creates it"},
    IniKey{u"TempExportPath", u"TempExportPath", &IniSettings::TempExportPath, Conversion::Folder,
           u"the folder result files are written in before they are published"},
    IniKey{u"COMLOGPATH", u"ComLogPath", &IniSettings::ComLogPath, Conversion::Folder, {}},
    IniKey{u"shiftlen", u"ShiftLength", &IniSettings::ShiftLength, Conversion::LeadingNumber,
           u"the shift length in hours (the number the value begins with); at least one second"},
    IniKey{u"firstshift", u"FirstShift", &IniSettings::FirstShift, Conversion::Text,
           u"a date and time at which a shift began, in the regional format (01.01.2019 06:00:00)"},
    IniKey{u"ImportCycle", u"ImportCycle", &IniSettings::ImportCycle, Conversion::CycleMinutes,
           u"minutes between import cycles (0: every 5 seconds; at most 2730)"},
    IniKey{u"ExportCycle", u"ExportCycle", &IniSettings::ExportCycle, Conversion::CycleSeconds,
           u"seconds between export cycles (0: every second; at most 32767)"},
    IniKey{u"dateformat", u"DateFormat", &IniSettings::DateFormat, Conversion::Text,
           u"read and shown, used by nothing"},
    IniKey{u"lang_dateformat", u"LangDateFormat", &IniSettings::LangDateFormat, Conversion::Text,
           u"read and shown, used by nothing"},
    IniKey{u"USdateimport", u"UsDateImport", &IniSettings::UsDateImport, Conversion::Text,
           u"read and shown, used by nothing"},
    IniKey{u"STDSampleMat", u"StdSampleMaterial", &IniSettings::StdSampleMaterial, Conversion::Text,
           u"the sample material when the order's notes do not say urine"},
    IniKey{u"ImportLeader", u"ImportLeader", &IniSettings::ImportLeader, Conversion::Text,
           u"read and shown, used by nothing"},
    IniKey{u"ExportLeader", u"ExportLeader", &IniSettings::ExportLeader, Conversion::FileNamePart,
           u"put before the sample ID to name a result file (no folder separators)"},
    IniKey{u"ImportExtension", u"ImportExtension", &IniSettings::ImportExtension, Conversion::Extension,
           u"the three characters order file names end with, in any case, without the dot"},
    IniKey{u"ExportExtension", u"ExportExtension", &IniSettings::ExportExtension, Conversion::FileNamePart,
           u"put after the sample ID to name a result file (no folder separators)"},
    IniKey{u"CancelSign", u"CancelSign", &IniSettings::CancelSign, Conversion::Text, u"ORC-1 of a cancellation"},
    IniKey{u"HL7ORUSender", u"HL7ORUSender", &IniSettings::HL7ORUSender, Conversion::Hl7Text,
           u"the sending application of result messages (MSH-3); none of | ^ ~ \\ &"},
    IniKey{u"HL7ORUEmpf", u"HL7ORUEmpf", &IniSettings::HL7ORUEmpf, Conversion::Hl7Text,
           u"the receiving application of result messages (MSH-5); none of | ^ ~ \\ &"},
    IniKey{u"OBR3TEXT", u"OBR3TEXT", &IniSettings::OBR3TEXT, Conversion::Hl7Text,
           u"OBR-3 of result messages; none of | ^ ~ \\ &"},
    // Kestrin's own keys.
    IniKey{u"engine", u"Engine", &IniSettings::Engine, Conversion::Engine,
           u"the database engine: sqlite (an embedded database file), postgres or sqlserver, in any case"},
    IniKey{u"Charset", u"Charset", &IniSettings::Charset, Conversion::Text,
           u"the character set of order files without their own, of result files and of the log"},
    IniKey{u"ShortDateFormat", u"ShortDateFormat", &IniSettings::ShortDateFormat, Conversion::Format,
           u"the Qt format of dates in the log, in messages and as typed"},
    IniKey{u"TimeFormat", u"TimeFormat", &IniSettings::TimeFormat, Conversion::Format,
           u"the Qt format of times in the log, in messages and as typed"},
    IniKey{u"DecimalSeparator", u"DecimalSeparator", &IniSettings::DecimalSeparator, Conversion::Text,
           u"the decimal separator of numeric results"},
    IniKey{u"DbUser", u"DbUser", &IniSettings::DbUser, Conversion::Text, u"the PostgreSQL login"},
    IniKey{u"DbPassword", u"DbPassword", &IniSettings::DbPassword, Conversion::Secret,
           u"the PostgreSQL login's password (masked by /check)"},
    IniKey{u"DbPasswordFile", u"DbPasswordFile", &IniSettings::DbPasswordFile, Conversion::Text,
           u"instead of DbPassword: a file whose first line is the password, readable by no one outside its owner "
           u"and group; a relative name is looked up in $CREDENTIALS_DIRECTORY (LoadCredential=), else beside the "
           u"INI file"},
    IniKey{u"DbSslMode", u"DbSslMode", &IniSettings::DbSslMode, Conversion::SslMode,
           u"postgres: disable, allow, prefer, require, verify-ca or verify-full (empty: the driver's prefer); "
           u"verify-full for a server on another machine"},
    IniKey{u"DbSslRootCert", u"DbSslRootCert", &IniSettings::DbSslRootCert, Conversion::OptionFile,
           u"postgres: the certificate authority's file that verifies the server"},
    IniKey{u"DbEncrypt", u"DbEncrypt", &IniSettings::DbEncrypt, Conversion::Encrypt,
           u"sqlserver: yes, no or strict, the ODBC driver's Encrypt (empty: the driver's default)"},
    IniKey{u"DbTrustServerCertificate", u"DbTrustServerCertificate", &IniSettings::DbTrustServerCertificate,
           Conversion::YesNo, u"sqlserver: yes accepts a certificate that cannot be verified (not advised)"},
    IniKey{u"OdbcDriver", u"OdbcDriver", &IniSettings::OdbcDriver, Conversion::Text, u"the ODBC driver for SQL Server"},
    IniKey{u"ComDevice1", u"ComDevice1", &IniSettings::ComDevice1, Conversion::Text,
           u"the device of serial port 1 instead of the system's first (/dev/ttyS0 on Linux)"},
    IniKey{u"ComDevice2", u"ComDevice2", &IniSettings::ComDevice2, Conversion::Text,
           u"the device of serial port 2 instead of the system's second (/dev/ttyS1 on Linux)"},
    IniKey{u"ImportMinAge", u"ImportMinAge", &IniSettings::ImportMinAge, Conversion::Milliseconds,
           u"milliseconds an order file must rest before it is read (it may still be being written)"},
    IniKey{
        u"ImportMaxBytes", u"ImportMaxBytes", &IniSettings::ImportMaxBytes, Conversion::Bytes,
        u"the largest order file that is read, in bytes (at most 67108864); a larger one goes to EinleseFehler unread"},
    IniKey{u"ImportMaxFailures", u"ImportMaxFailures", &IniSettings::ImportMaxFailures, Conversion::Files,
           u"order files that may fail in one import cycle; the rest wait for the next"},
    IniKey{
        u"LogKeepDays", u"LogKeepDays", &IniSettings::LogKeepDays, Conversion::Days,
        u"days a communication log is kept: at the day change the station's older logs are removed; 0 keeps every log"},
    IniKey{u"ControlIdMask", u"ControlIdMask", &IniSettings::ControlIdMask, Conversion::Text,
           u"sample IDs the entry station stores as control results: masks in which ? stands for any character, "
           u"several separated by ;"},
};

const QString kDoneFolder = u"Done"_s;
const QString kErrorFolder = u"EinleseFehler"_s;
// A long value or key is shown by its beginning.
constexpr qsizetype kShownLength = 64;

QString shown(const QString& text) { return text.size() > kShownLength ? text.left(kShownLength) + u"..." : text; }

void deriveImportFolders(IniSettings& s)
{
    s.ImportDonePath = s.ImportPath + kDoneFolder;
    s.ImportErrorPath = s.ImportPath + kErrorFolder;
}

// The first character of a text that HL7 reads as a delimiter or line end, described; empty
// text when it holds none.
QString hl7Delimiter(const QString& value)
{
    const qsizetype at = value.indexOf(QRegularExpression(u"[|^~\\\\&\\x00-\\x1f]"_s));
    if (at < 0)
        return {};
    const char16_t c = value.at(at).unicode();
    return (c < 0x20 ? u"U+%1"_s.arg(c, 4, 16, QChar(u'0')) : u"\"%1\""_s.arg(value.at(at))) +
        u", which HL7 reads as a delimiter or line end"_s;
}

// A problem with the lead that says what the value is not; none when there is no problem.
QString withLead(const QString& lead, const QString& problem) { return problem.isEmpty() ? problem : lead + problem; }

QString unknownEngine(const QString& value)
{
    QString reason = u"no database engine Kestrin knows (%1)"_s.arg(KnownEngines().join(u", "));
    if (const QString near = NearestName(value, KnownEngines()); !near.isEmpty())
        reason += u"; did you mean %1?"_s.arg(near);
    return reason;
}

// A cycle below 0 runs on every tick as 0 does: kept, since files may rely on it, but said.
void noteNegativeCycle(ParsedConfiguration& parsed, const QString& key, qint32 cycle, int tickMs)
{
    if (cycle < 0)
        parsed.warnings << u"The key \"%1\" has the value %2; below 0 the cycle runs on every tick (every %3), "
                           u"as with 0."_s.arg(key, QString::number(cycle),
                                               tickMs == 1000 ? u"second"_s : u"%1 seconds"_s.arg(tickMs / 1000));
}

void store(ParsedConfiguration& parsed, const IniKey& key, const QString& value)
{
    IniSettings& s = parsed.settings;
    const QString keyText = key.key.toString();
    const auto refuse = [&](const QString& reason, const QString& written) {
        parsed.errors.push_back({keyText, written, reason});
    };
    // The value as written, unless `reason` says why it cannot stand.
    const auto takeText = [&](const QString& reason) {
        if (reason.isEmpty())
            s.*std::get<QString IniSettings::*>(key.field) = value;
        else
            refuse(reason, value);
    };
    switch (key.conversion) {
    case Conversion::Text:
    case Conversion::Secret:
        s.*std::get<QString IniSettings::*>(key.field) = value;
        break;
    case Conversion::Engine: {
        // No engine rather than the start value, so that no other engine's database is tried.
        std::optional<Engine>& engine = s.*std::get<std::optional<Engine> IniSettings::*>(key.field);
        engine = EngineNamed(value);
        if (!engine)
            refuse(unknownEngine(value), value);
        break;
    }
    case Conversion::Folder:
    case Conversion::ImportFolder:
        if (value.isEmpty()) {
            refuse(u"no folder (an empty value would be the root of the file system)"_s, value);
            break;
        }
        if (const QString problem = PathProblem(value); !problem.isEmpty()) {
            refuse(u"no folder a file system can hold: "_s + problem, value);
            break;
        }
        s.*std::get<QString IniSettings::*>(key.field) = WithTrailingSeparator(value);
        if (key.conversion == Conversion::ImportFolder)
            deriveImportFolders(s);
        break;
    case Conversion::UnusedFolder:
        s.*std::get<QString IniSettings::*>(key.field) = WithTrailingSeparator(value);
        break;
    case Conversion::LeadingNumber:
        s.*std::get<double IniSettings::*>(key.field) = LeadingNumber(value);
        break;
    case Conversion::CycleMinutes:
    case Conversion::CycleSeconds:
        if (const auto number = ToInt32(value)) {
            s.*std::get<qint32 IniSettings::*>(key.field) = *number;
            noteNegativeCycle(parsed, keyText, *number,
                              key.conversion == Conversion::CycleMinutes ? CycleSchedule::kImportTickMs
                                                                         : CycleSchedule::kExportTickMs);
        } else {
            refuse(u"not a whole number"_s, value);
        }
        break;
    case Conversion::Milliseconds:
    case Conversion::Days:
        if (const auto number = ToInt32(value); number && *number >= 0)
            s.*std::get<qint32 IniSettings::*>(key.field) = *number;
        else
            refuse(u"not a whole number of %1 (0 or more)"_s.arg(
                       key.conversion == Conversion::Days ? u"days"_s : u"milliseconds"_s),
                   value);
        break;
    case Conversion::Bytes:
        if (const auto number = ToInt32(value); number && *number >= 1 && *number <= IniSettings::kMostImportMaxBytes)
            s.*std::get<qint64 IniSettings::*>(key.field) = *number;
        else
            refuse(u"not a whole number of bytes from 1 to %1"_s.arg(IniSettings::kMostImportMaxBytes), value);
        break;
    case Conversion::Files:
        if (const auto number = ToInt32(value); number && *number >= 1)
            s.*std::get<qint64 IniSettings::*>(key.field) = *number;
        else
            refuse(u"not a whole number of files (1 or more)"_s, value);
        break;
    case Conversion::Extension:
        // The last three characters of a file name are compared with it: anything else never matches.
        takeText(value.size() == 3 && !value.contains(u'.') && FileNamePartProblem(value).isEmpty()
                     ? QString()
                     : u"no extension a file name can end in (three characters, no dot)"_s);
        break;
    case Conversion::FileNamePart:
        takeText(withLead(u"no part of a file name in the export folder: "_s, FileNamePartProblem(value)));
        break;
    case Conversion::Hl7Text:
        // Written into MSH and OBR as it stands: a delimiter would shift the fields after it.
        takeText(withLead(u"no text for a result message: it holds "_s, hl7Delimiter(value)));
        break;
    case Conversion::SslMode:
    case Conversion::Encrypt:
    case Conversion::YesNo: {
        const QStringList known = choices(key.conversion);
        if (value.isEmpty() || known.contains(value.toLower()))
            s.*std::get<QString IniSettings::*>(key.field) = value.toLower();
        else
            refuse(u"none of %1 (or empty for the driver's default)"_s.arg(known.join(u", ")), value);
        break;
    }
    case Conversion::OptionFile:
        takeText(value.contains(u';') ? u"no file name Kestrin can hand to the driver: it holds \";\""_s : QString());
        break;
    case Conversion::Format:
        if (value.size() > kMaxFormatLength) {
            refuse(u"longer than %1 characters, more than any date or time format"_s.arg(kMaxFormatLength),
                   shown(value));
        } else {
            // The time of a result message (MSH-7) is written in these formats.
            takeText(withLead(u"no format for the time of a result message: it holds "_s, hl7Delimiter(value)));
        }
        break;
    }
}

// A line that names no key: said with the key it was most likely meant to be.
QString unknownKey(qsizetype lineNumber, const QString& key)
{
    static const QStringList known = [] {
        QStringList keys;
        for (const IniKey& k : kIniKeys)
            keys << k.key.toString();
        return keys;
    }();
    const QString near = NearestName(key, known);
    return u"INI line %1: unknown key \"%2\"%3; the line is ignored."_s.arg(
        QString::number(lineNumber), shown(key), near.isEmpty() ? QString() : u" (did you mean %1?)"_s.arg(near));
}

QString describe(const QString& value) { return value; }
QString describe(double value) { return QString::number(value, 'g', 15); }
QString describe(qint32 value) { return QString::number(value); }
QString describe(qint64 value) { return QString::number(value); }
QString describe(const std::optional<double>& value) { return value ? describe(*value) : QString(); }
QString describe(const std::optional<Engine>& value) { return value ? EngineName(*value) : QString(); }

// The "/check" lines of one key: its field, masked where it is a secret, and the folders
// derived from the import folder.
void describeKey(QStringList& lines, const IniSettings& s, const IniKey& key)
{
    QString value = std::visit([&](auto member) { return describe(s.*member); }, key.field);
    if (key.conversion == Conversion::Secret && !value.isEmpty())
        value = u"****"_s;
    lines << key.name.toString() + u'=' + value;
    if (key.conversion == Conversion::ImportFolder)
        lines << u"ImportDonePath="_s + s.ImportDonePath << u"ImportErrorPath="_s + s.ImportErrorPath;
}

QString resolved(const QString& folder, const QDir& base)
{
    if (folder.isEmpty() || !QDir::isRelativePath(folder))
        return folder;
    const QString absolute = QDir::cleanPath(base.absoluteFilePath(folder));
    return WithTrailingSeparator(QDir::toNativeSeparators(absolute));
}

} // namespace

QString WithTrailingSeparator(const QString& folder)
{
    if (folder.endsWith(u'/') || folder.endsWith(u'\\'))
        return folder;
    return folder + QDir::separator();
}

QString ProblemText(const SettingError& error)
{
    return u"The key \"%1\" has the value \"%2\", which is %3."_s.arg(error.key, error.value, error.reason);
}

ParsedConfiguration ParseConfiguration(const QStringList& lines)
{
    ParsedConfiguration result;
    for (qsizetype number = 1; number <= lines.size(); ++number) {
        const QString& line = lines.at(number - 1);
        if (line.isEmpty() || line.startsWith(u';') || line.startsWith(u'['))
            continue;
        const qsizetype equals = line.indexOf(u'=');
        const QString key = equals < 0 ? line : line.left(equals);
        QString value = equals < 0 ? QString() : line.mid(equals + 1);
        value.remove(u'=');
        const auto known = std::find_if(kIniKeys.begin(), kIniKeys.end(),
                                        [&](const IniKey& candidate) { return candidate.key == key; });
        if (known != kIniKeys.end()) {
            store(result, *known, value);
            continue;
        }
        // Keys stay matched exactly, blanks and case included, as the laboratory's files were
        // always read: a near key is suggested, never taken in its place.
        const QString trimmed = line.trimmed();
        if (!trimmed.isEmpty() && !trimmed.startsWith(u';') && !trimmed.startsWith(u'['))
            result.warnings << unknownKey(number, key);
    }
    return result;
}

void ResolveRelativeFolders(IniSettings& s, const QString& iniFolder)
{
    const QDir base(iniFolder);
    for (const IniKey& key : kIniKeys) {
        if (key.conversion != Conversion::Folder && key.conversion != Conversion::UnusedFolder &&
            key.conversion != Conversion::ImportFolder)
            continue;
        QString& folder = s.*std::get<QString IniSettings::*>(key.field);
        folder = resolved(folder, base);
        if (key.conversion == Conversion::ImportFolder && !folder.isEmpty())
            deriveImportFolders(s);
    }
}

ParsedConfiguration ReadConfigurationFile(const QString& path)
{
    QFile file(path);
    const QFileInfo info(path);
    // A pipe or device named by /ini= would hang the start or never end.
    if (info.exists() && !info.isFile())
        throw ConfigurationError(u"The INI file %1 is no regular file (a folder, pipe or device)."_s.arg(path));
    if (info.size() > kMaxIniBytes)
        throw ConfigurationError(u"The INI file %1 has %2 bytes; no configuration has more than %3."_s.arg(
            path, QString::number(info.size()), QString::number(kMaxIniBytes)));
    if (!file.exists()) {
        QDir().mkpath(QFileInfo(path).absolutePath());
        if (!file.open(QIODevice::WriteOnly))
            throw ConfigurationError(
                u"The INI file %1 does not exist and cannot be created: %2"_s.arg(path, file.errorString()));
        file.close();
    }
    if (!file.open(QIODevice::ReadOnly))
        throw ConfigurationError(u"The INI file %1 cannot be read: %2"_s.arg(path, file.errorString()));
    const QByteArray bytes = file.read(kMaxIniBytes + 1);
    if (bytes.size() > kMaxIniBytes)
        throw ConfigurationError(u"The INI file %1 has more than %2 bytes; no configuration has that many."_s.arg(
            path, QString::number(kMaxIniBytes)));
    // INI files are written by hand in the workstations' code page or, lately, in UTF-8.
    const QString text = IsValidUtf8(bytes) ? QString::fromUtf8(bytes) : TextCodec(u"windows-1252"_s).decode(bytes);
    ParsedConfiguration parsed = ParseConfiguration(SplitLines(text));
    const QString folder = QFileInfo(path).absolutePath();
    ResolveRelativeFolders(parsed.settings, folder);
    ReadPasswordFile(parsed, folder, qEnvironmentVariable("CREDENTIALS_DIRECTORY"));
    return parsed;
}

IniSettings ReadConfiguration(const QString& path, QStringList* warnings)
{
    ParsedConfiguration parsed = ReadConfigurationFile(path);
    if (!parsed.errors.empty()) {
        QStringList message{parsed.errors.size() == 1 ? u"The INI file %1 holds a value Kestrin cannot use:"_s.arg(path)
                                                      : u"The INI file %1 holds %2 values Kestrin cannot use:"_s.arg(
                                                            path, QString::number(parsed.errors.size()))};
        for (const SettingError& error : parsed.errors)
            message << ProblemText(error);
        throw ConfigurationError(message.join(u'\n'));
    }
    if (warnings)
        *warnings = std::move(parsed.warnings);
    return parsed.settings;
}

QStringList DescribeConfiguration(const AppConfig& c)
{
    const auto line = [](QStringView name, const auto& value) -> QString {
        return name.toString() + u'=' + describe(value);
    };
    QStringList lines{
        line(u"IniFilePath", c.IniFilePath),
        line(u"ComputerName", c.ComputerName),
        line(u"StationId", c.StationId),
        line(u"RunType", c.RunType),
        line(u"RunMode", RunModeName(c.Mode)),
        line(u"ComPort", c.ComPort),
        line(u"OutType", c.OutType),
        line(u"OutPort", c.OutPort),
        line(u"OutId", c.OutId),
        line(u"AutoReq", c.AutoReq),
        line(u"AutoVal", c.AutoVal),
        line(u"TestParameter", qint32(c.TestParameter)),
        line(u"ExportTimerEnabled", c.ExportTimerEnabled ? u"true"_s : u"false"_s),
    };
    for (auto key = kIniKeys.begin(); key != kIniKeys.end(); ++key) {
        // A field that two keys set is shown once.
        const auto sameField = [&](const IniKey& earlier) { return earlier.field == key->field; };
        if (std::none_of(kIniKeys.begin(), key, sameField))
            describeKey(lines, c, *key);
    }
    return lines;
}

std::vector<IniKeyReference> IniKeyReferences()
{
    const IniSettings start;
    std::vector<IniKeyReference> references;
    for (auto key = kIniKeys.begin(); key != kIniKeys.end(); ++key) {
        const auto earlier =
            std::find_if(kIniKeys.begin(), key, [&](const IniKey& k) { return k.field == key->field; });
        if (earlier != key) {
            const auto same = [&](const IniKeyReference& r) { return r.keys.first() == earlier->key; };
            std::find_if(references.begin(), references.end(), same)->keys << key->key.toString();
            continue;
        }
        references.push_back({{key->key.toString()},
                              std::visit([&](auto member) { return describe(start.*member); }, key->field),
                              key->about.toString()});
    }
    return references;
}

} // namespace kestrin
