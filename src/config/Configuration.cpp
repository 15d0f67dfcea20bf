#include "config/Configuration.h"

#include "core/Error.h"
#include "core/Numbers.h"
#include "core/TextChecks.h"
#include "core/TextCodec.h"
#include "core/TextLines.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <array>
#include <variant>

using namespace Qt::StringLiterals;

namespace kestrin {

namespace {

enum class Conversion {
    Text,
    Folder,        // trailing separator ensured; empty is an error (it would be the root)
    UnusedFolder,  // the same, but empty is kept: read by nothing
    ImportFolder,  // a folder whose "Done" and "EinleseFehler" folders are derived
    LeadingNumber, // the number the text begins with, else 0
    Cycle,         // a whole number; no number is an error
    Milliseconds,  // a whole number of 0 or more
    Bytes,         // a whole number of 1 or more
    Days,          // a whole number of 0 or more
    Extension,     // three characters without a dot, the only kind a file name can end in
    FileNamePart,  // text put into a file name: nothing that leaves the folder or a file name cannot hold
    Hl7Text,       // text put into a result message as it stands: none of its delimiters
    Format,        // a date or time format of sane length
};

// A date or time format is read back character by character, at a cost that grows with the
// square of its length; real formats are short.
constexpr qsizetype kMaxFormatLength = 64;
constexpr qint64 kMaxIniBytes = 1024 * 1024;

using Field = std::variant<QString IniSettings::*, double IniSettings::*, qint32 IniSettings::*, qint64 IniSettings::*>;

struct IniKey {
    QStringView key;
    Field field;
    Conversion conversion;
};

// Every key of the INI file, in the order the keys are tested.
const std::array kIniKeys = {
    IniKey{u"language", &IniSettings::Language, Conversion::Text},
    IniKey{u"server", &IniSettings::ServerName, Conversion::Text},
    IniKey{u"AccessPath", &IniSettings::AccessPath, Conversion::Text},
    IniKey{u"database", &IniSettings::DatabaseName, Conversion::Text},
    IniKey{u"SQLSVR", &IniSettings::SqlServerKind, Conversion::Text},
    IniKey{u"AppPath", &IniSettings::AppPath, Conversion::UnusedFolder},
    IniKey{u"ComLogPath", &IniSettings::ComLogPath, Conversion::Folder},
    IniKey{u"ImportPath", &IniSettings::ImportPath, Conversion::ImportFolder},
    IniKey{u"ExportPath", &IniSettings::ExportPath, Conversion::Folder},
    IniKey{u"TempExportPath", &IniSettings::TempExportPath, Conversion::Folder},
    IniKey{u"COMLOGPATH", &IniSettings::ComLogPath, Conversion::Folder},
    IniKey{u"shiftlen", &IniSettings::ShiftLength, Conversion::LeadingNumber},
    IniKey{u"firstshift", &IniSettings::FirstShift, Conversion::Text},
    IniKey{u"ImportCycle", &IniSettings::ImportCycle, Conversion::Cycle},
    IniKey{u"ExportCycle", &IniSettings::ExportCycle, Conversion::Cycle},
    IniKey{u"dateformat", &IniSettings::DateFormat, Conversion::Text},
    IniKey{u"lang_dateformat", &IniSettings::LangDateFormat, Conversion::Text},
    IniKey{u"USdateimport", &IniSettings::UsDateImport, Conversion::Text},
    IniKey{u"STDSampleMat", &IniSettings::StdSampleMaterial, Conversion::Text},
    IniKey{u"ImportLeader", &IniSettings::ImportLeader, Conversion::Text},
    IniKey{u"ExportLeader", &IniSettings::ExportLeader, Conversion::FileNamePart},
    IniKey{u"ImportExtension", &IniSettings::ImportExtension, Conversion::Extension},
    IniKey{u"ExportExtension", &IniSettings::ExportExtension, Conversion::FileNamePart},
    IniKey{u"CancelSign", &IniSettings::CancelSign, Conversion::Text},
    IniKey{u"HL7ORUSender", &IniSettings::HL7ORUSender, Conversion::Hl7Text},
    IniKey{u"HL7ORUEmpf", &IniSettings::HL7ORUEmpf, Conversion::Hl7Text},
    IniKey{u"OBR3TEXT", &IniSettings::OBR3TEXT, Conversion::Hl7Text},
    // Kestrin's own keys.
    IniKey{u"engine", &IniSettings::Engine, Conversion::Text},
    IniKey{u"Charset", &IniSettings::Charset, Conversion::Text},
    IniKey{u"ShortDateFormat", &IniSettings::ShortDateFormat, Conversion::Format},
    IniKey{u"TimeFormat", &IniSettings::TimeFormat, Conversion::Format},
    IniKey{u"DecimalSeparator", &IniSettings::DecimalSeparator, Conversion::Text},
    IniKey{u"DbUser", &IniSettings::DbUser, Conversion::Text},
    IniKey{u"DbPassword", &IniSettings::DbPassword, Conversion::Text},
    IniKey{u"OdbcDriver", &IniSettings::OdbcDriver, Conversion::Text},
    IniKey{u"ComDevice1", &IniSettings::ComDevice1, Conversion::Text},
    IniKey{u"ComDevice2", &IniSettings::ComDevice2, Conversion::Text},
    IniKey{u"ImportMinAge", &IniSettings::ImportMinAge, Conversion::Milliseconds},
    IniKey{u"ImportMaxBytes", &IniSettings::ImportMaxBytes, Conversion::Bytes},
    IniKey{u"LogKeepDays", &IniSettings::LogKeepDays, Conversion::Days},
    IniKey{u"ControlIdMask", &IniSettings::ControlIdMask, Conversion::Text},
};

const QString kDoneFolder = u"Done"_s;
const QString kErrorFolder = u"EinleseFehler"_s;

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

void store(IniSettings& s, const IniKey& key, const QString& value, std::vector<SettingError>& errors)
{
    const QString keyText = key.key.toString();
    switch (key.conversion) {
    case Conversion::Text:
        s.*std::get<QString IniSettings::*>(key.field) = value;
        break;
    case Conversion::Folder:
    case Conversion::ImportFolder:
        if (value.isEmpty()) {
            errors.push_back({keyText, value, u"no folder (an empty value would be the root of the file system)"_s});
            break;
        }
        if (const QString problem = PathProblem(value); !problem.isEmpty()) {
            errors.push_back({keyText, value, u"no folder a file system can hold: "_s + problem});
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
    case Conversion::Cycle:
        if (const auto number = ToInt32(value))
            s.*std::get<qint32 IniSettings::*>(key.field) = *number;
        else
            errors.push_back({keyText, value, u"not a whole number"_s});
        break;
    case Conversion::Milliseconds:
    case Conversion::Days:
        if (const auto number = ToInt32(value); number && *number >= 0)
            s.*std::get<qint32 IniSettings::*>(key.field) = *number;
        else
            errors.push_back({keyText, value,
                              u"not a whole number of %1 (0 or more)"_s.arg(
                                  key.conversion == Conversion::Days ? u"days"_s : u"milliseconds"_s)});
        break;
    case Conversion::Bytes:
        if (const auto number = ToInt32(value); number && *number >= 1)
            s.*std::get<qint64 IniSettings::*>(key.field) = *number;
        else
            errors.push_back({keyText, value, u"not a whole number of bytes (1 or more)"_s});
        break;
    case Conversion::Extension:
        // The last three characters of a file name are compared with it: anything else never matches.
        if (value.size() == 3 && !value.contains(u'.') && FileNamePartProblem(value).isEmpty())
            s.*std::get<QString IniSettings::*>(key.field) = value;
        else
            errors.push_back({keyText, value, u"no extension a file name can end in (three characters, no dot)"_s});
        break;
    case Conversion::FileNamePart:
        if (const QString problem = FileNamePartProblem(value); problem.isEmpty())
            s.*std::get<QString IniSettings::*>(key.field) = value;
        else
            errors.push_back({keyText, value, u"no part of a file name in the export folder: "_s + problem});
        break;
    case Conversion::Hl7Text:
        // Written into MSH and OBR as it stands: a delimiter would shift the fields after it.
        if (const QString delimiter = hl7Delimiter(value); delimiter.isEmpty())
            s.*std::get<QString IniSettings::*>(key.field) = value;
        else
            errors.push_back({keyText, value, u"no text for a result message: it holds "_s + delimiter});
        break;
    case Conversion::Format:
        if (value.size() > kMaxFormatLength)
            errors.push_back({keyText, value.left(kMaxFormatLength) + u"...",
                              u"longer than %1 characters, more than any date or time format"_s.arg(kMaxFormatLength)});
        // The time of a result message (MSH-7) is written in these formats.
        else if (const QString delimiter = hl7Delimiter(value); !delimiter.isEmpty())
            errors.push_back({keyText, value, u"no format for the time of a result message: it holds "_s + delimiter});
        else
            s.*std::get<QString IniSettings::*>(key.field) = value;
        break;
    }
}

QString resolved(const QString& folder, const QDir& base)
{
    if (folder.isEmpty() || !QDir::isRelativePath(folder))
        return folder;
    const QString absolute = QDir::cleanPath(base.absoluteFilePath(folder));
    return WithTrailingSeparator(QDir::toNativeSeparators(absolute));
}

QString describe(const QString& value) { return value; }
QString describe(double value) { return QString::number(value, 'g', 15); }
QString describe(qint32 value) { return QString::number(value); }
QString describe(qint64 value) { return QString::number(value); }
QString describe(const std::optional<double>& value) { return value ? describe(*value) : QString(); }

} // namespace

QString WithTrailingSeparator(const QString& folder)
{
    if (folder.endsWith(u'/') || folder.endsWith(u'\\'))
        return folder;
    return folder + QDir::separator();
}

ParsedConfiguration ParseConfiguration(const QStringList& lines)
{
    ParsedConfiguration result;
    for (const QString& line : lines) {
        if (line.isEmpty() || line.startsWith(u';') || line.startsWith(u'['))
            continue;
        const qsizetype equals = line.indexOf(u'=');
        const QString key = equals < 0 ? line : line.left(equals);
        QString value = equals < 0 ? QString() : line.mid(equals + 1);
        value.remove(u'=');
        for (const IniKey& candidate : kIniKeys) {
            if (candidate.key == key) {
                store(result.settings, candidate, value, result.errors);
                break;
            }
        }
    }
    return result;
}

void ResolveRelativeFolders(IniSettings& s, const QString& iniFolder)
{
    const QDir base(iniFolder);
    for (QString* folder : {&s.AppPath, &s.ComLogPath, &s.ExportPath, &s.TempExportPath})
        *folder = resolved(*folder, base);
    if (!s.ImportPath.isEmpty()) {
        s.ImportPath = resolved(s.ImportPath, base);
        deriveImportFolders(s);
    }
}

IniSettings ReadConfiguration(const QString& path)
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
    if (!parsed.errors.empty()) {
        const SettingError& e = parsed.errors.front();
        throw ConfigurationError(u"The INI file %1: the key \"%2\" has the value \"%3\", which is %4."_s.arg(
            path, e.key, e.value, e.reason));
    }
    ResolveRelativeFolders(parsed.settings, QFileInfo(path).absolutePath());
    return parsed.settings;
}

QStringList DescribeConfiguration(const AppConfig& c)
{
    const auto line = [](QStringView name, const auto& value) -> QString {
        return name.toString() + u'=' + describe(value);
    };
    return {
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
        line(u"Language", c.Language),
        line(u"ServerName", c.ServerName),
        line(u"AccessPath", c.AccessPath),
        line(u"DatabaseName", c.DatabaseName),
        line(u"SqlServerKind", c.SqlServerKind),
        line(u"AppPath", c.AppPath),
        line(u"ComLogPath", c.ComLogPath),
        line(u"ImportPath", c.ImportPath),
        line(u"ImportDonePath", c.ImportDonePath),
        line(u"ImportErrorPath", c.ImportErrorPath),
        line(u"ExportPath", c.ExportPath),
        line(u"TempExportPath", c.TempExportPath),
        line(u"ShiftLength", c.ShiftLength),
        line(u"FirstShift", c.FirstShift),
        line(u"ImportCycle", c.ImportCycle),
        line(u"ExportCycle", c.ExportCycle),
        line(u"DateFormat", c.DateFormat),
        line(u"LangDateFormat", c.LangDateFormat),
        line(u"UsDateImport", c.UsDateImport),
        line(u"StdSampleMaterial", c.StdSampleMaterial),
        line(u"ImportLeader", c.ImportLeader),
        line(u"ExportLeader", c.ExportLeader),
        line(u"ImportExtension", c.ImportExtension),
        line(u"ExportExtension", c.ExportExtension),
        line(u"CancelSign", c.CancelSign),
        line(u"HL7ORUSender", c.HL7ORUSender),
        line(u"HL7ORUEmpf", c.HL7ORUEmpf),
        line(u"OBR3TEXT", c.OBR3TEXT),
        line(u"Engine", c.Engine),
        line(u"Charset", c.Charset),
        line(u"ShortDateFormat", c.ShortDateFormat),
        line(u"TimeFormat", c.TimeFormat),
        line(u"DecimalSeparator", c.DecimalSeparator),
        line(u"DbUser", c.DbUser),
        line(u"DbPassword", c.DbPassword.isEmpty() ? QString() : u"****"_s),
        line(u"OdbcDriver", c.OdbcDriver),
        line(u"ComDevice1", c.ComDevice1),
        line(u"ComDevice2", c.ComDevice2),
        line(u"ImportMinAge", c.ImportMinAge),
        line(u"ImportMaxBytes", c.ImportMaxBytes),
        line(u"LogKeepDays", c.LogKeepDays),
        line(u"ControlIdMask", c.ControlIdMask),
    };
}

} // namespace kestrin
