#include "TestMain.h"
#include "config/Configuration.h"
#include "config/ConnectionSecurity.h"
#include "config/IniLocation.h"
#include "core/Error.h"

#include <QDir>
#include <QRegularExpression>
#include <QTemporaryDir>

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#endif

using namespace Qt::StringLiterals;
using namespace kestrin;

namespace {

const QString sep = QDir::separator();

// The "/check" lines of the settings, so that rows name fields as the program does.
QStringList describe(const IniSettings& settings)
{
    AppConfig config;
    static_cast<IniSettings&>(config) = settings;
    return DescribeConfiguration(config);
}

} // namespace

class TestConfiguration : public QObject {
    Q_OBJECT
private slots:
    void parse_data();
    void parse();
    void refusedValues_data();
    void refusedValues();
    void problemsAndWarnings_data();
    void problemsAndWarnings();
    void shippedFilesHoldOnlyKnownKeys();
    void templateNamesEveryKey();
    void emptyFileGivesStartValues();
    void missingFileIsCreatedEmpty();
    void unreadableFileStopsStartUp();
    void errorNamesFileKeyAndValue();
    void relativeFoldersFollowTheIniFile();
    void passwordFile_data();
    void passwordFile();
    void connectionSecurityWarnings_data();
    void connectionSecurityWarnings();
    void encodings_data();
    void encodings();
    void locate_data();
    void locate();

private:
    QTemporaryDir m_dir;
};

void TestConfiguration::parse_data()
{
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<QStringList>("expected"); // "/check" lines that must appear

    QTest::newRow("import folder and derived folders")
        << QStringList{u"ImportPath=D:\\In"_s}
        << QStringList{u"ImportPath=D:\\In"_s + sep, u"ImportDonePath=D:\\In"_s + sep + u"Done"_s,
                       u"ImportErrorPath=D:\\In"_s + sep + u"EinleseFehler"_s};
    QTest::newRow("folder already ending in a backslash")
        << QStringList{u"ImportPath=D:\\In\\"_s}
        << QStringList{u"ImportPath=D:\\In\\"_s, u"ImportDonePath=D:\\In\\Done"_s};
    QTest::newRow("folder already ending in a slash")
        << QStringList{u"ExportPath=/srv/out/"_s} << QStringList{u"ExportPath=/srv/out/"_s};
    QTest::newRow("blanks around = make another key")
        << QStringList{u"server = LABSRV"_s} << QStringList{u"ServerName=(local)"_s};
    QTest::newRow("value not trimmed") << QStringList{u"database= LAB "_s} << QStringList{u"DatabaseName= LAB "_s};
    QTest::newRow("section line skipped even with =")
        << QStringList{u"[server=X]"_s} << QStringList{u"ServerName=(local)"_s};
    QTest::newRow("comment line skipped") << QStringList{u";server=X"_s} << QStringList{u"ServerName=(local)"_s};
    QTest::newRow("keys are global across sections")
        << QStringList{u"[Database]"_s, u"server=LAB1"_s, u"[Other]"_s, u"SQLSVR=2000"_s}
        << QStringList{u"ServerName=LAB1"_s, u"SqlServerKind=2000"_s};
    QTest::newRow("further = dropped") << QStringList{u"database=a=b=c"_s} << QStringList{u"DatabaseName=abc"_s};
    QTest::newRow("line without = gives empty value")
        << QStringList{u"database=LAB"_s, u"database"_s} << QStringList{u"DatabaseName="_s};
    QTest::newRow("later line overwrites")
        << QStringList{u"language=german"_s, u"language=english"_s} << QStringList{u"Language=english"_s};
    QTest::newRow("ComLogPath") << QStringList{u"ComLogPath=/log/a/"_s} << QStringList{u"ComLogPath=/log/a/"_s};
    QTest::newRow("COMLOGPATH") << QStringList{u"COMLOGPATH=/log/b/"_s} << QStringList{u"ComLogPath=/log/b/"_s};
    QTest::newRow("comlogpath sets nothing") << QStringList{u"comlogpath=/log/c/"_s} << QStringList{u"ComLogPath="_s};
    QTest::newRow("shift length") << QStringList{u"shiftlen=8"_s} << QStringList{u"ShiftLength=8"_s};
    QTest::newRow("shift length leading number")
        << QStringList{u"shiftlen=7.5 h"_s} << QStringList{u"ShiftLength=7.5"_s};
    QTest::newRow("shift length without number") << QStringList{u"shiftlen=acht"_s} << QStringList{u"ShiftLength=0"_s};
    QTest::newRow("cycles") << QStringList{u"ImportCycle=1"_s, u"ExportCycle=30"_s}
                            << QStringList{u"ImportCycle=1"_s, u"ExportCycle=30"_s};
    QTest::newRow("cycle half to even down") << QStringList{u"ImportCycle=2.5"_s} << QStringList{u"ImportCycle=2"_s};
    QTest::newRow("cycle half to even up") << QStringList{u"ExportCycle=3.5"_s} << QStringList{u"ExportCycle=4"_s};
    QTest::newRow("cycle with blanks") << QStringList{u"ExportCycle= 12 "_s} << QStringList{u"ExportCycle=12"_s};
    QTest::newRow("HL7 texts") << QStringList{u"HL7ORUSender=KESTRIN"_s, u"HL7ORUEmpf=KIS"_s, u"OBR3TEXT=TOX"_s,
                                              u"CancelSign=CA"_s, u"STDSampleMat=S"_s}
                               << QStringList{u"HL7ORUSender=KESTRIN"_s, u"HL7ORUEmpf=KIS"_s, u"OBR3TEXT=TOX"_s,
                                              u"CancelSign=CA"_s, u"StdSampleMaterial=S"_s};
    QTest::newRow("leaders and extensions")
        << QStringList{u"ImportExtension=hl7"_s, u"ExportLeader=ORU_"_s}
        << QStringList{u"ImportExtension=hl7"_s, u"ExportLeader=ORU_"_s, u"ExportExtension="_s, u"ImportLeader="_s};
    QTest::newRow("Kestrin's keys") << QStringList{u"engine=sqlite"_s,
                                                   u"Charset=UTF-8"_s,
                                                   u"ShortDateFormat=M/d/yyyy"_s,
                                                   u"TimeFormat=h:mm:ss AP"_s,
                                                   u"DecimalSeparator=."_s,
                                                   u"ImportMinAge=250"_s,
                                                   u"ControlIdMask=QC-?\?\?-1;QC-?\?\?\?-1"_s}
                                    << QStringList{u"Engine=sqlite"_s,
                                                   u"Charset=UTF-8"_s,
                                                   u"ShortDateFormat=M/d/yyyy"_s,
                                                   u"TimeFormat=h:mm:ss AP"_s,
                                                   u"DecimalSeparator=."_s,
                                                   u"ImportMinAge=250"_s,
                                                   u"ControlIdMask=QC-?\?\?-1;QC-?\?\?\?-1"_s};
    QTest::newRow("engine in any case") << QStringList{u"engine=SQLite"_s} << QStringList{u"Engine=sqlite"_s};
    QTest::newRow("engine by its full name")
        << QStringList{u"engine=PostgreSQL"_s} << QStringList{u"Engine=postgres"_s};
    QTest::newRow("no control mask") << QStringList() << QStringList{u"ControlIdMask="_s};
    QTest::newRow("password masked") << QStringList{u"DbPassword=secret"_s} << QStringList{u"DbPassword=****"_s};
    QTest::newRow("unused AppPath may be empty")
        << QStringList{u"AppPath="_s} << QStringList{u"AppPath="_s + QDir::separator()};
    QTest::newRow("order file limit") << QStringList{u"ImportMaxBytes=2048"_s} << QStringList{u"ImportMaxBytes=2048"_s};
    QTest::newRow("failures a cycle") << QStringList{u"ImportMaxFailures=5"_s} << QStringList{u"ImportMaxFailures=5"_s};
    QTest::newRow("encryption in any case, as the drivers want it")
        << QStringList{u"DbSslMode=Verify-Full"_s, u"DbEncrypt=YES"_s, u"DbTrustServerCertificate=No"_s}
        << QStringList{u"DbSslMode=verify-full"_s, u"DbEncrypt=yes"_s, u"DbTrustServerCertificate=no"_s};
    QTest::newRow("encryption empty: the driver's default")
        << QStringList{u"DbSslMode="_s, u"DbEncrypt="_s} << QStringList{u"DbSslMode="_s, u"DbEncrypt="_s};
}

void TestConfiguration::parse()
{
    QFETCH(QStringList, lines);
    QFETCH(QStringList, expected);
    const ParsedConfiguration parsed = ParseConfiguration(lines);
    QVERIFY(parsed.errors.empty());
    const QStringList described = describe(parsed.settings);
    for (const QString& line : expected)
        QVERIFY2(described.contains(line), qPrintable(line + u" not in\n"_s + described.join(u'\n')));
}

void TestConfiguration::refusedValues_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<QString>("key");

    QTest::newRow("export cycle without number") << u"ExportCycle=abc"_s << u"ExportCycle"_s;
    QTest::newRow("import cycle empty") << u"ImportCycle="_s << u"ImportCycle"_s;
    QTest::newRow("import cycle beyond 32 bits") << u"ImportCycle=99999999999"_s << u"ImportCycle"_s;
    QTest::newRow("negative minimum age") << u"ImportMinAge=-5"_s << u"ImportMinAge"_s;
    for (const QString& key : {u"ImportPath"_s, u"ExportPath"_s, u"TempExportPath"_s, u"ComLogPath"_s, u"COMLOGPATH"_s})
        QTest::addRow("empty %s: the root", qPrintable(key)) << key + u'=' << key;
    QTest::newRow("extension with a dot") << u"ImportExtension=.hl"_s << u"ImportExtension"_s;
    QTest::newRow("extension empty") << u"ImportExtension="_s << u"ImportExtension"_s;
    QTest::newRow("extension of four") << u"ImportExtension=hl7x"_s << u"ImportExtension"_s;
    QTest::newRow("a megabyte of time format") << u"TimeFormat="_s + QString(1 << 20, u'H') << u"TimeFormat"_s;
    QTest::newRow("no bytes") << u"ImportMaxBytes=0"_s << u"ImportMaxBytes"_s;
    QTest::newRow("more bytes than a file may cost") << u"ImportMaxBytes=67108865"_s << u"ImportMaxBytes"_s;
    QTest::newRow("no failures a cycle") << u"ImportMaxFailures=0"_s << u"ImportMaxFailures"_s;
    // libpq would refuse it only at the connection, and an unknown ODBC attribute is ignored.
    QTest::newRow("sslmode no mode") << u"DbSslMode=verify"_s << u"DbSslMode"_s;
    QTest::newRow("Encrypt as true") << u"DbEncrypt=true"_s << u"DbEncrypt"_s;
    QTest::newRow("TrustServerCertificate as 1") << u"DbTrustServerCertificate=1"_s << u"DbTrustServerCertificate"_s;
    QTest::newRow("CA file cut by ;") << u"DbSslRootCert=/etc/ca;x.pem"_s << u"DbSslRootCert"_s;
    // Values that would write outside the export folder, or shift the fields of a message.
    QTest::newRow("leader leaving the folder") << u"ExportLeader=../escape_"_s << u"ExportLeader"_s;
    QTest::newRow("leader a Windows name cannot hold") << u"ExportLeader=ORU:"_s << u"ExportLeader"_s;
    QTest::newRow("extension into a folder") << u"ExportExtension=/x.hl7"_s << u"ExportExtension"_s;
    QTest::newRow("import extension of separators") << u"ImportExtension=/x/"_s << u"ImportExtension"_s;
    QTest::newRow("import extension with NUL") << u"ImportExtension=a"_s + QChar(0) + u"b"_s << u"ImportExtension"_s;
    QTest::newRow("folder with NUL") << u"ImportPath=in"_s + QChar(0) + u"x"_s << u"ImportPath"_s;
    QTest::newRow("folder name too long") << u"ExportPath=/srv/"_s + QString(256, u'x') << u"ExportPath"_s;
    for (const QString& key :
         {u"HL7ORUSender"_s, u"HL7ORUEmpf"_s, u"OBR3TEXT"_s, u"ShortDateFormat"_s, u"TimeFormat"_s}) {
        for (const QString& delimiter : {u"|"_s, u"^"_s, u"~"_s, u"\\"_s, u"&"_s, u"\r"_s})
            QTest::addRow("%s holding %s", qPrintable(key), delimiter.toUtf8().toHex().constData())
                << key + u"=LAB"_s + delimiter + u"X"_s << key;
    }
}

void TestConfiguration::refusedValues()
{
    QFETCH(QString, line);
    QFETCH(QString, key);
    const ParsedConfiguration parsed = ParseConfiguration({line});
    QCOMPARE(parsed.errors.size(), std::size_t(1));
    QCOMPARE(parsed.errors.front().key, key);
    QCOMPARE(parsed.errors.front().value.left(64), line.mid(line.indexOf(u'=') + 1).left(64));
}

void TestConfiguration::problemsAndWarnings_data()
{
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<QStringList>("problems"); // one text each problem must hold, in order
    QTest::addColumn<QStringList>("warnings"); // the same for the warnings

    QTest::newRow("every bad value listed")
        << QStringList{u"ImportCycle=soon"_s, u"ImportExtension=.hl7"_s, u"ExportCycle=later"_s}
        << QStringList{u"\"ImportCycle\" has the value \"soon\""_s, u"\"ImportExtension\" has the value \".hl7\""_s,
                       u"\"ExportCycle\" has the value \"later\""_s}
        << QStringList();
    QTest::newRow("misspelt key") << QStringList{u"ImportCylce=5"_s} << QStringList()
                                  << QStringList{u"line 1: unknown key \"ImportCylce\" (did you mean ImportCycle?)"_s};
    // Blanks and case still make another key, as they always did: said, not read.
    QTest::newRow("blanks around the key")
        << QStringList{u"[Cycles]"_s, u"ImportCycle = 5"_s} << QStringList()
        << QStringList{u"line 2: unknown key \"ImportCycle \" (did you mean ImportCycle?)"_s};
    QTest::newRow("key in other case") << QStringList{u"comlogpath=/log/"_s} << QStringList()
                                       << QStringList{u"(did you mean ComLogPath?)"_s};
    QTest::newRow("another program's key")
        << QStringList{u"PrinterQueue=lp0"_s} << QStringList() << QStringList{u"unknown key \"PrinterQueue\"; "_s};
    QTest::newRow("comments, sections and blank lines")
        << QStringList{u";ImportCylce=5"_s, u"[ImportCylce=5]"_s, QString(), u"   "_s} << QStringList()
        << QStringList();
    QTest::newRow("unknown engine")
        << QStringList{u"engine=oracle"_s}
        << QStringList{u"\"oracle\", which is no database engine Kestrin knows (sqlite, postgres, sqlserver)"_s}
        << QStringList();
    QTest::newRow("negative cycle") << QStringList{u"ExportCycle=-3"_s} << QStringList()
                                    << QStringList{u"\"ExportCycle\" has the value -3"_s};
    QTest::newRow("bad values and unknown keys together")
        << QStringList{u"DbPasword=x"_s, u"ImportMinAge=-1"_s, u"ImportMaxBytes=0"_s}
        << QStringList{u"ImportMinAge"_s, u"ImportMaxBytes"_s} << QStringList{u"(did you mean DbPassword?)"_s};
}

void TestConfiguration::problemsAndWarnings()
{
    QFETCH(QStringList, lines);
    QFETCH(QStringList, problems);
    QFETCH(QStringList, warnings);
    const ParsedConfiguration parsed = ParseConfiguration(lines);
    QStringList problemTexts;
    for (const SettingError& error : parsed.errors)
        problemTexts << ProblemText(error);
    const auto holds = [](const QStringList& texts, const QStringList& expected) {
        if (texts.size() != expected.size())
            return false;
        for (qsizetype i = 0; i < texts.size(); ++i) {
            if (!texts.at(i).contains(expected.at(i)))
                return false;
        }
        return true;
    };
    QVERIFY2(holds(problemTexts, problems), qPrintable(problemTexts.join(u'\n')));
    QVERIFY2(holds(parsed.warnings, warnings), qPrintable(parsed.warnings.join(u'\n')));
    // A key is suggested only where it is near.
    for (qsizetype i = 0; i < warnings.size(); ++i)
        QCOMPARE(parsed.warnings.at(i).contains(u"did you mean"_s), warnings.at(i).contains(u"did you mean"_s));
}

// The template and the demo are what laboratories copy: a key misspelt there spreads.
void TestConfiguration::shippedFilesHoldOnlyKnownKeys()
{
    for (const QString& file : {u"/packaging/kestrin.ini"_s, u"/examples/demo.ini"_s}) {
        const ParsedConfiguration parsed =
            ParseConfiguration(QString::fromUtf8(test::ReadFile(test::SourceDir() + file)).split(u'\n'));
        QVERIFY2(parsed.errors.empty() && parsed.warnings.isEmpty(), qPrintable(file + parsed.warnings.join(u'\n')));
    }
}

// The template is where an administrator looks for a key; the manual page lists the same table.
void TestConfiguration::templateNamesEveryKey()
{
    const QString file = QString::fromUtf8(test::ReadFile(test::SourceDir() + u"/packaging/kestrin.ini"_s));
    for (const IniKeyReference& reference : IniKeyReferences()) {
        const QString key = reference.keys.first();
        QVERIFY2(QRegularExpression(u"^;?%1="_s.arg(key), QRegularExpression::MultilineOption).match(file).hasMatch(),
                 qPrintable(key));
        QVERIFY2(!reference.about.isEmpty(), qPrintable(key));
    }
}

void TestConfiguration::emptyFileGivesStartValues()
{
    const IniSettings s = ParseConfiguration({}).settings;
    QCOMPARE(s.ServerName, u"(local)"_s);
    QCOMPARE(s.ImportCycle, 0);
    QCOMPARE(s.ExportCycle, 0);
    QCOMPARE(s.ImportPath, QString());
    QVERIFY(s.Engine == Engine::SqlServer);
}

void TestConfiguration::missingFileIsCreatedEmpty()
{
    const QString path = m_dir.filePath(u"new/HL7.ini"_s);
    const IniSettings s = ReadConfiguration(path);
    QVERIFY(QFileInfo::exists(path));
    QCOMPARE(QFileInfo(path).size(), 0);
    QCOMPARE(s.ServerName, u"(local)"_s);
}

void TestConfiguration::unreadableFileStopsStartUp()
{
    const QString folderInsteadOfFile = m_dir.filePath(u"folder.ini"_s);
    QDir().mkpath(folderInsteadOfFile);
    QVERIFY_THROWS_EXCEPTION(StartupError, ReadConfiguration(folderInsteadOfFile));
    // Neither waited for nor read without end.
    const QString oversized = m_dir.filePath(u"huge.ini"_s);
    test::WriteFile(oversized, QByteArray(2 << 20, ';'));
    QVERIFY_THROWS_EXCEPTION(StartupError, ReadConfiguration(oversized));
#ifdef Q_OS_UNIX
    const QString fifo = m_dir.filePath(u"fifo.ini"_s);
    QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    QVERIFY_THROWS_EXCEPTION(StartupError, ReadConfiguration(fifo));
    QVERIFY_THROWS_EXCEPTION(StartupError, ReadConfiguration(u"/dev/zero"_s));
#endif
}

void TestConfiguration::errorNamesFileKeyAndValue()
{
    const QString path = m_dir.filePath(u"bad.ini"_s);
    test::WriteFile(path, "ImportCycle=never\r\nExportCycle=soon\r\nImportCylce=1\r\n");
    try {
        ReadConfiguration(path);
        QFAIL("no error");
    } catch (const ConfigurationError& e) {
        QVERIFY2(e.message().contains(path), qPrintable(e.message()));
        for (const QString& named : {u"\"ImportCycle\""_s, u"\"never\""_s, u"\"ExportCycle\""_s, u"\"soon\""_s})
            QVERIFY2(e.message().contains(named), qPrintable(e.message()));
    }
}

void TestConfiguration::relativeFoldersFollowTheIniFile()
{
    const QString path = m_dir.filePath(u"lab/kestrin.ini"_s);
    test::WriteFile(path, "ImportPath=orders\nExportPath=/abs/out\nComLogPath=../log\n");
    const IniSettings s = ReadConfiguration(path);
    const QString lab = QFileInfo(m_dir.filePath(u"lab"_s)).absoluteFilePath();
    QCOMPARE(s.ImportPath, QDir::toNativeSeparators(lab + u"/orders"_s) + sep);
    QCOMPARE(s.ImportDonePath, s.ImportPath + u"Done"_s);
    QCOMPARE(s.ExportPath, u"/abs/out"_s + sep);
    QCOMPARE(s.ComLogPath, QDir::toNativeSeparators(QFileInfo(m_dir.path()).absoluteFilePath() + u"/log"_s) + sep);
}

void TestConfiguration::passwordFile_data()
{
    QTest::addColumn<QString>("line");     // the INI line, %1 standing for the password file's folder
    QTest::addColumn<QByteArray>("bytes"); // the file's content; none: no file
    QTest::addColumn<int>("mode");
    QTest::addColumn<bool>("credentials"); // the file in CREDENTIALS_DIRECTORY, a decoy beside the INI file
    QTest::addColumn<QString>("refused");  // a text the problem holds; empty: the password is "S3cret pw"

    QTest::newRow("owner only, newline stripped")
        << u"DbPasswordFile=db-password"_s << QByteArray("S3cret pw\n") << 0600 << false << QString();
    // root:kestrin 0640 is how a password is given to a service that may not change it.
    QTest::newRow("group may read, written on Windows")
        << u"DbPasswordFile=db-password"_s << QByteArray("S3cret pw\r\nnext line") << 0640 << false << QString();
    QTest::newRow("absolute name") << u"DbPasswordFile=%1/db-password"_s << QByteArray("S3cret pw") << 0400 << false
                                   << QString();
    QTest::newRow("systemd's credential directory")
        << u"DbPasswordFile=db-password"_s << QByteArray("S3cret pw") << 0400 << true << QString();
#ifndef Q_OS_WIN
    QTest::newRow("every user may read") << u"DbPasswordFile=db-password"_s << QByteArray("S3cret pw\n") << 0644
                                         << false << u"every user of this machine may read"_s;
#endif
    QTest::newRow("missing") << u"DbPasswordFile=db-pasword"_s << QByteArray("S3cret pw") << 0600 << false
                             << u"does not exist"_s;
    QTest::newRow("a folder") << u"DbPasswordFile=."_s << QByteArray() << 0600 << false << u"no regular file"_s;
    QTest::newRow("empty first line") << u"DbPasswordFile=db-password"_s << QByteArray("\nS3cret pw") << 0600 << false
                                      << u"without a password"_s;
    QTest::newRow("beside DbPassword") << u"DbPasswordFile=db-password\nDbPassword=other"_s << QByteArray("S3cret pw")
                                       << 0600 << false << u"beside DbPassword"_s;
}

// DbPasswordFile: the first line of a file of the service's own, refused where every user may
// read it or it cannot be the password; the password is never said.
void TestConfiguration::passwordFile()
{
    QFETCH(QString, line);
    QFETCH(QByteArray, bytes);
    QFETCH(int, mode);
    QFETCH(bool, credentials);
    QFETCH(QString, refused);
    QTemporaryDir dir;
    const QString credentialsDir = dir.filePath(u"credentials"_s);
    const QString fileDir = credentials ? credentialsDir : dir.path();
    const QString file = fileDir + u"/db-password"_s;
    test::WriteFile(file, bytes);
    // Qt's owner bits stand four bits above the group's.
    QVERIFY(QFile::setPermissions(file, QFile::Permissions(((mode & 0700) << 6) | ((mode & 070) << 1) | (mode & 07))));
    if (credentials)
        test::WriteFile(dir.filePath(u"db-password"_s), "decoy");
    const QString ini = dir.filePath(u"kestrin.ini"_s);
    test::WriteFile(ini, QString(line).replace(u"%1"_s, fileDir).toUtf8() + '\n');
    if (credentials)
        qputenv("CREDENTIALS_DIRECTORY", QFile::encodeName(credentialsDir));
    else
        qunsetenv("CREDENTIALS_DIRECTORY");
    const ParsedConfiguration parsed = ReadConfigurationFile(ini);
    qunsetenv("CREDENTIALS_DIRECTORY");
    if (refused.isEmpty()) {
        QVERIFY2(parsed.errors.empty(),
                 qPrintable(parsed.errors.empty() ? QString() : ProblemText(parsed.errors.front())));
        QCOMPARE(parsed.settings.DbPassword, u"S3cret pw"_s);
        QCOMPARE(parsed.settings.DbPasswordFile, file);
        QVERIFY(describe(parsed.settings).contains(u"DbPassword=****"_s));
        return;
    }
    QCOMPARE(parsed.errors.size(), std::size_t(1));
    const QString problem = ProblemText(parsed.errors.front());
    QVERIFY2(parsed.errors.front().key == u"DbPasswordFile" && problem.contains(refused) &&
                 !problem.contains(u"S3cret"_s),
             qPrintable(problem));
    QVERIFY(!parsed.settings.DbPassword.contains(u"S3cret"_s));
}

void TestConfiguration::connectionSecurityWarnings_data()
{
    QTest::addColumn<QString>("lines");
    QTest::addColumn<bool>("everyoneReads"); // the INI file's mode: 0644, else 0600
    QTest::addColumn<QString>("warning");    // a text the one warning holds; empty: none

    const QString pg = u"engine=postgres\n"_s;
    const QString mssql = u"engine=sqlserver\n"_s;
    QTest::newRow("postgres elsewhere, the driver's default")
        << pg + u"server=labdb:5432"_s << false << u"DbSslMode is prefer (the driver's default)"_s;
    QTest::newRow("postgres elsewhere, disable")
        << pg + u"server=10.1.2.3\nDbSslMode=disable"_s << false << u"may cross the network unencrypted"_s;
    QTest::newRow("postgres elsewhere, require")
        << pg + u"server=labdb\nDbSslMode=require"_s << false << u"whoever answers in the server's place"_s;
    QTest::newRow("postgres elsewhere, verify-ca")
        << pg + u"server=labdb\nDbSslMode=verify-ca"_s << false << u"not its host name"_s;
    QTest::newRow("postgres elsewhere, verify-full")
        << pg + u"server=labdb\nDbSslMode=verify-full"_s << false << QString();
    for (const QString& local : {u"(local)"_s, u"localhost"_s, u"127.0.0.1:5433"_s, u"[::1]:5432"_s, u"::1"_s,
                                 u"/var/run/postgresql"_s, QString()})
        QTest::addRow("postgres on this machine: %s", qPrintable(local))
            << pg + u"server="_s + local + u"\nDbSslMode=disable"_s << false << QString();
    QTest::newRow("a name that only begins like this machine's")
        << pg + u"server=127.example.org"_s << false << u"DbSslMode is prefer"_s;
    QTest::newRow("sqlserver elsewhere, the driver's default")
        << mssql + u"server=LABSRV\\SQL"_s << false << u"DbEncrypt is not set"_s;
    QTest::newRow("sqlserver elsewhere, certificate trusted")
        << mssql + u"server=LABSRV,1433\nDbEncrypt=yes\nDbTrustServerCertificate=yes"_s << false
        << u"DbTrustServerCertificate is yes"_s;
    QTest::newRow("sqlserver elsewhere, verified")
        << mssql + u"server=LABSRV\nDbEncrypt=strict"_s << false << QString();
    QTest::newRow("sqlserver on this machine") << mssql + u"server=(local)\\SQLEXPRESS"_s << false << QString();
    QTest::newRow("sqlite ignores server") << u"engine=sqlite\nserver=labdb"_s << false << QString();
#ifndef Q_OS_WIN
    QTest::newRow("INI file every user reads, holding the password")
        << u"engine=sqlite\nDbPassword=x"_s << true << u"holds DbPassword and every user"_s;
#endif
    QTest::newRow("INI file of the owner, holding the password")
        << u"engine=sqlite\nDbPassword=x"_s << false << QString();
    QTest::newRow("INI file every user reads, without password") << u"engine=sqlite"_s << true << QString();
}

void TestConfiguration::connectionSecurityWarnings()
{
    QFETCH(QString, lines);
    QFETCH(bool, everyoneReads);
    QFETCH(QString, warning);
    const QString ini = m_dir.filePath(u"security.ini"_s);
    test::WriteFile(ini, lines.toUtf8());
    QFile::setPermissions(ini,
                          QFile::ReadOwner | QFile::WriteOwner |
                              (everyoneReads ? QFile::ReadGroup | QFile::ReadOther : QFile::Permissions()));
    AppConfig config;
    static_cast<IniSettings&>(config) = ReadConfiguration(ini);
    config.IniFilePath = ini;
    const QStringList warnings = ConnectionSecurityWarnings(config);
    QVERIFY2(warning.isEmpty() ? warnings.isEmpty() : warnings.size() == 1 && warnings.front().contains(warning),
             qPrintable(warnings.join(u'\n')));
}

void TestConfiguration::encodings_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("UTF-8") << QByteArray("HL7ORUSender=L\xc3\xa4"
                                         "bor\n");
    QTest::newRow("windows-1252") << QByteArray("HL7ORUSender=L\xe4"
                                                "bor\n");
}

void TestConfiguration::encodings()
{
    QFETCH(QByteArray, bytes);
    const QString path = m_dir.filePath(u"enc.ini"_s);
    test::WriteFile(path, bytes);
    QCOMPARE(ReadConfiguration(path).HL7ORUSender, u"L\u00e4bor"_s);
}

void TestConfiguration::locate_data()
{
    QTest::addColumn<QStringList>("present");
    QTest::addColumn<kestrin::MissingIni>("missing");
    QTest::addColumn<QString>("expected"); // empty: refused, naming every place
    const auto refuse = MissingIni::Refuse;
    QTest::newRow("the package's file first")
        << QStringList{u"/etc/kestrin/kestrin.ini"_s, u"/etc/kestrin/quorix.ini"_s} << refuse
        << u"/etc/kestrin/kestrin.ini"_s;
    QTest::newRow("the older fixed place")
        << QStringList{u"/etc/kestrin/quorix.ini"_s, u"/opt/k/HL7.ini"_s} << refuse << u"/etc/kestrin/quorix.ini"_s;
    QTest::newRow("beside the program") << QStringList{u"/opt/k/HL7.ini"_s} << refuse << u"/opt/k/HL7.ini"_s;
    QTest::newRow("none: refused") << QStringList() << refuse << QString();
    QTest::newRow("none: Windows takes HL7.ini") << QStringList() << MissingIni::TakeLast << u"/opt/k/HL7.ini"_s;
}

void TestConfiguration::locate()
{
    QFETCH(QStringList, present);
    QFETCH(MissingIni, missing);
    QFETCH(QString, expected);
    const QStringList candidates{u"/etc/kestrin/kestrin.ini"_s, u"/etc/kestrin/quorix.ini"_s, u"/opt/k/HL7.ini"_s};
    const auto exists = [&](const QString& path) { return present.contains(path); };
    if (!expected.isEmpty()) {
        QCOMPARE(LocateIniFile(candidates, missing, exists), expected);
        return;
    }
    try {
        LocateIniFile(candidates, missing, exists);
        QFAIL("no INI file, and none refused");
    } catch (const ConfigurationError& e) {
        for (const QString& place : candidates)
            QVERIFY2(QString::fromUtf8(e.what()).contains(place), e.what());
    }
    QCOMPARE(IniFileCandidates(u"/opt/k"_s).last(), u"/opt/k/HL7.ini"_s);
}

KESTRIN_TEST_MAIN(TestConfiguration)
#include "tst_configuration.moc"
