#include "PermissionBits.h"
#include "TestMain.h"
#include "app/CheckCommand.h"
#include "app/Startup.h"
#include "config/CommandLine.h"
#include "labdb/Connection.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

using namespace Qt::StringLiterals;
using namespace kestrin;

namespace {

// Makes a file or folder read-only for this process, also for root (who passes permission
// bits, not the immutable flag); undone at the end.
class ReadOnly {
public:
    explicit ReadOnly(const QString& path)
        : m_path(path)
        , m_permissions(QFile::permissions(path))
    {
        QFile::setPermissions(path, QFile::ReadOwner | QFile::ReadUser | QFile::ExeOwner | QFile::ExeUser);
        if (writable())
            m_immutable = QProcess::execute(u"chattr"_s, {u"+i"_s, path}) == 0;
    }
    ~ReadOnly()
    {
        if (m_immutable)
            QProcess::execute(u"chattr"_s, {u"-i"_s, m_path});
        QFile::setPermissions(m_path, m_permissions);
    }
    ReadOnly(const ReadOnly&) = delete;
    ReadOnly& operator=(const ReadOnly&) = delete;

    bool writable() const
    {
        if (QFileInfo(m_path).isDir()) {
            QFile probe(m_path + u"/probe"_s);
            return probe.open(QIODevice::WriteOnly) && probe.remove();
        }
        return QFile(m_path).open(QIODevice::ReadWrite);
    }

private:
    QString m_path;
    QFile::Permissions m_permissions;
    bool m_immutable = false;
};

} // namespace

// "/check" tries what every start does: a write into the database, a file in every folder.
class TestCheck : public QObject {
    Q_OBJECT
private slots:
    void checkTriesWhatTheRunDoes_data();
    void checkTriesWhatTheRunDoes();
    void unlistableImportFolderIsAProblem();
};

void TestCheck::checkTriesWhatTheRunDoes_data()
{
    QTest::addColumn<QString>("readOnly"); // below the INI file's folder; empty: none
    QTest::addColumn<bool>("database");    // whether /initdb made the database
    QTest::addColumn<bool>("openLog");     // whether every user may write the log folder
    QTest::addColumn<int>("expected");
    QTest::addColumn<QString>("said");

    QTest::newRow("sound") << QString() << true << false << 0 << u"Writing: a row was written and rolled back"_s;
    QTest::newRow("database file read-only") << u"lab.sqlite"_s << true << false << 2 << u"Writing: refused"_s;
    QTest::newRow("database file missing")
        << QString() << false << false << 2 << u"Database: The sqlite database file %1/lab.sqlite does not exist"_s;
    QTest::newRow("log folder read-only")
        << u"log"_s << true << false << 2 << u"Folder ComLogPath: %1/log/ (exists but cannot be written: "_s;
    QTest::newRow("missing folder below a read-only one")
        << u"spool"_s << true << false << 2
        << u"Folder TempExportPath: %1/spool/tmp/ (is missing and cannot be created below %1/spool: "_s;
#ifndef Q_OS_WIN
    QTest::newRow("log folder every user may write")
        << QString() << true << true << 0 << u"Warning: every user of this machine may write the log folder %1/log/"_s;
#endif
}

void TestCheck::checkTriesWhatTheRunDoes()
{
    QFETCH(QString, readOnly);
    QFETCH(bool, database);
    QTemporaryDir dir;
    const QString ini = dir.filePath(u"lab.ini"_s);
    test::WriteFile(ini,
                    "engine=sqlite\ndatabase=lab.sqlite\nComLogPath=log\nImportPath=in\nExportPath=out\n"
                    "TempExportPath=spool/tmp\nshiftlen=8\nfirstshift=01.01.2019 06:00:00\n");
    for (const QString& folder : {u"out"_s, u"log"_s, u"spool"_s})
        QDir(dir.path()).mkpath(folder);
    const CommandLine commandLine = ParseCommandLine({u"/ini="_s + ini});
    SilentProgress progress;
    const AppConfig config = LoadConfiguration(commandLine, progress);
    if (database)
        ConnectDatabase(ConnectionSettingsOf(config), MissingDatabase::Created);
    QFETCH(bool, openLog);
    if (openLog)
        QFile::setPermissions(dir.filePath(u"log"_s), QFile::permissions(dir.filePath(u"log"_s)) | QFile::WriteOther);

    std::unique_ptr<ReadOnly> spoiled;
    if (!readOnly.isEmpty()) {
        spoiled = std::make_unique<ReadOnly>(dir.filePath(readOnly));
        if (spoiled->writable())
            QSKIP("Neither permissions nor the immutable flag make a file read-only here");
    }
    QString text;
    QTextStream out(&text);
    const int status = RunCheck(commandLine, out);
    QFETCH(int, expected);
    QFETCH(QString, said);
    QVERIFY2(status == expected, qPrintable(text));
    QVERIFY2(text.contains(QString(said).replace(u"%1"_s, dir.path())), qPrintable(text));
    // Nothing is left behind: no file tried, no folder that was missing, no database.
    QVERIFY(!QFileInfo::exists(dir.filePath(u"in"_s)));
    QVERIFY(!QFileInfo::exists(dir.filePath(u"spool/tmp"_s)));
    QCOMPARE(test::FileNames(dir.filePath(u"out"_s)) + test::FileNames(dir.filePath(u"log"_s)), QStringList());
    QCOMPARE(QFileInfo::exists(dir.filePath(u"lab.sqlite"_s)), database);
}

// Writable but not listable: the service would never see the orders in it.
void TestCheck::unlistableImportFolderIsAProblem()
{
#ifndef Q_OS_LINUX
    QSKIP("permission bits are tried on Linux");
#else
    QTemporaryDir dir;
    const QString ini = dir.filePath(u"lab.ini"_s);
    test::WriteFile(ini,
                    "engine=sqlite\ndatabase=lab.sqlite\nComLogPath=log\nImportPath=in\nExportPath=out\n"
                    "TempExportPath=tmp\nshiftlen=8\nfirstshift=01.01.2019 06:00:00\n");
    QDir(dir.path()).mkpath(u"out"_s);
    QDir(dir.path()).mkpath(u"in"_s);
    const CommandLine commandLine = ParseCommandLine({u"/ini="_s + ini});
    SilentProgress progress;
    const AppConfig config = LoadConfiguration(commandLine, progress);
    ConnectDatabase(ConnectionSettingsOf(config), MissingDatabase::Created);
    QFile::setPermissions(dir.filePath(u"in"_s),
                          QFile::WriteOwner | QFile::ExeOwner | QFile::WriteUser | QFile::ExeUser | QFile::ExeGroup |
                              QFile::ExeOther);
    QString text;
    QTextStream out(&text);
    int status = 0;
    {
        const test::PermissionBitsApply strict;
        status = RunCheck(commandLine, out);
    }
    QFile::setPermissions(dir.filePath(u"in"_s), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QCOMPARE(status, 2);
    QVERIFY2(text.contains(u"Folder ImportPath: %1/in/ (exists but cannot be listed: "_s.arg(dir.path())),
             qPrintable(text));
#endif
}

KESTRIN_TEST_MAIN(TestCheck)
#include "tst_check.moc"
