#pragma once

#include "config/Engine.h"
#include "config/PlatformDefaults.h"
#include "config/RunMode.h"

#include <QString>
#include <QStringList>

#include <optional>

namespace kestrin {

// Values of the "/key=value" switches a station is started with.
struct CommandLineSettings {
    QString StationId = QStringLiteral("HL7");
    QString RunType;
    std::optional<double> ComPort; // an absent switch differs from port 0
    QString OutType;
    std::optional<double> OutPort;
    QString OutId;
    QString AutoReq = QStringLiteral("0");
    QString AutoVal;
    qint16 TestParameter = 0;
    // Both follow from the "type" switch (ChooseRunMode) and are set once, by the parser.
    RunMode Mode = RunMode::Service;
    bool ExportTimerEnabled = true;
    // Switches Kestrin does not know, as written: said, not refused (start-up scripts may
    // carry switches of other programs).
    QStringList UnknownSwitches;
};

// Values of the INI file. Folder values always end with a path separator.
struct IniSettings {
    QString Language;
    QString ServerName = QStringLiteral("(local)");
    QString AccessPath;
    QString DatabaseName;
    QString SqlServerKind;
    QString AppPath;
    QString ComLogPath;
    QString ImportPath;
    QString ImportDonePath;
    QString ImportErrorPath;
    QString ExportPath;
    QString TempExportPath;
    double ShiftLength = 0;
    QString FirstShift;
    qint32 ImportCycle = 0;
    qint32 ExportCycle = 0;
    QString DateFormat;
    QString LangDateFormat;
    QString UsDateImport;
    QString StdSampleMaterial;
    QString ImportLeader;
    QString ExportLeader;
    QString ImportExtension;
    QString ExportExtension;
    QString CancelSign;
    QString HL7ORUSender;
    QString HL7ORUEmpf;
    QString OBR3TEXT;

    // Kestrin's own keys.
    // No engine: the INI file names one Kestrin does not know (a problem said at start), and
    // no other engine's database is tried in its place.
    std::optional<kestrin::Engine> Engine = kestrin::Engine::SqlServer;
    QString Charset = QStringLiteral("windows-1252");
    QString ShortDateFormat = QStringLiteral("dd.MM.yyyy");
    QString TimeFormat = QStringLiteral("HH:mm:ss");
    QString DecimalSeparator = QStringLiteral(",");
    QString DbUser;
    // As written, or the first line of the file DbPasswordFile names, read at start.
    QString DbPassword;
    // A file holding the password, readable by the service alone; a relative name is looked up
    // in systemd's credential directory (LoadCredential=), else beside the INI file.
    QString DbPasswordFile;
    // PostgreSQL's sslmode (disable ... verify-full), empty for the driver's default, and the
    // CA certificate the server's certificate is verified against.
    QString DbSslMode;
    QString DbSslRootCert;
    // SQL Server through ODBC: Encrypt (yes, no, strict) and TrustServerCertificate (yes, no),
    // empty for the driver's default.
    QString DbEncrypt;
    QString DbTrustServerCertificate;
    QString OdbcDriver = DefaultOdbcDriver();
    QString ComDevice1;
    QString ComDevice2;
    qint32 ImportMinAge = 1000;
    qint64 ImportMaxBytes = 10 * 1024 * 1024;
    // Reading a file takes a few times its size at once: the limit has a limit.
    static constexpr qint64 kMostImportMaxBytes = 64 * 1024 * 1024;
    // Order files that may fail in one import cycle before it ends; the rest wait for the next.
    qint64 ImportMaxFailures = 100;
    // Days a communication log is kept; 0 keeps every log.
    qint32 LogKeepDays = 0;
    // Sample IDs of the entry station that are control IDs (MatchesMask: "?" stands for any
    // character); several masks are separated by ";". Empty: no entry is a control.
    QString ControlIdMask;
};

// The settings record of one run: command line, machine name and INI file.
// Written during start-up only; everything else reads it.
struct AppConfig : CommandLineSettings, IniSettings {
    QString ComputerName;
    QString IniFilePath;
    // INI lines read otherwise than they may have been meant (unknown or misspelt keys): said
    // at start, not refused.
    QStringList IniWarnings;
};

} // namespace kestrin
