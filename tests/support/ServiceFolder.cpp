#include "ServiceFolder.h"

#include "OrderBuilder.h"
#include "TestEnvironment.h"
#include "labdb/DialectFactory.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTest>

#include <csignal>

using namespace Qt::StringLiterals;

namespace kestrin::test {

ServiceFolder::ServiceFolder(const QString& extraIni)
{
    WriteFile(ini(),
              "engine=sqlite\ndatabase=lab.sqlite\nComLogPath=log\nImportPath=in\nExportPath=out\n"
              "TempExportPath=tmp\nshiftlen=8\nfirstshift=01.01.2019 06:00:00\nImportExtension=hl7\n"
              "ImportMinAge=0\nImportCycle=0\nExportCycle=1\nExportLeader=ORU_\nExportExtension=.hl7\n" +
                  extraIni.toUtf8());
    QDir(dir.path()).mkpath(u"out"_s);
    QVERIFY(run({u"/initdb"_s}) == 0);
}

ServiceFolder::~ServiceFolder() { stop(SIGTERM); }

int ServiceFolder::run(const QStringList& arguments, QByteArray* output)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(KestrinProgram(), QStringList{u"/ini="_s + ini()} + arguments);
    process.waitForFinished(60000);
    if (output)
        *output = process.readAll();
    return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
}

void ServiceFolder::startService()
{
    service.start(KestrinProgram(), {u"/ini="_s + ini(), u"/headless"_s});
    service.waitForStarted();
}

qint64 ServiceFolder::stop(int signal)
{
    if (service.state() == QProcess::NotRunning)
        return -1;
    QElapsedTimer stopping;
    stopping.start();
#ifdef Q_OS_WIN
    Q_UNUSED(signal);
    service.kill();
#else
    ::kill(pid_t(service.processId()), signal);
#endif
    const bool ended = service.waitForFinished(30000);
    return ended ? stopping.elapsed() : -1;
}

std::unique_ptr<Database> ServiceFolder::connect() const
{
    ConnectionParameters p;
    p.databaseName = database();
    p.file = database();
    auto db = std::make_unique<Database>(MakeDialect(Engine::Sqlite), p);
    db->open();
    return db;
}

void ServiceFolder::moveDatabase(const QString& from, const QString& to)
{
    for (const QString& part : {QString(), u"-wal"_s, u"-shm"_s})
        QFile::rename(path(from + part), path(to + part));
}

void ServiceFolder::dropOrder(const QString& sample)
{
    WriteFile(path(u"in/"_s + sample + u".hl7"_s),
              OrderBuilder().controlId(u"M"_s + sample).sample(sample).text().toLatin1());
}

bool ServiceFolder::filed(const QString& sample) const
{
    return QFile::exists(path(u"in/Done/"_s + sample + u".hl7"_s));
}

int ServiceFolder::stored(const QString& sample) const
{
    return connect()
        ->first(u"SELECT COUNT(*) FROM HL7_STRINGS WHERE STRING_DEF = 'MSH' AND ORDER_ID = ?"_s,
                {QString(u"M"_s + sample)})
        ->at(0)
        .toInt();
}

QStringList ServiceFolder::log() const
{
    const QStringList logs = FileNames(path(u"log"_s)).filter(u"_log.txt"_s);
    return logs.isEmpty() ? QStringList()
                          : QString::fromLatin1(ReadFile(path(u"log/"_s + logs.first()))).split(u"\r\n"_s);
}

} // namespace kestrin::test
