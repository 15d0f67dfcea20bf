#include "BenchStation.h"

#include "PeakMemory.h"
#include "labdb/Connection.h"
#include "labdb/DialectFactory.h"
#include "labdb/Schema.h"
#include "runtime/ChangeMarkers.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTextStream>
#include <QUuid>

using namespace Qt::StringLiterals;

namespace kestrin::bench {

namespace {

const QStringList kCodes{u"AMP"_s, u"BAR"_s, u"BZD"_s, u"COC"_s,  u"MDMA"_s,
                         u"MTD"_s, u"OPI"_s, u"THC"_s, u"CREA"_s, u"ETG"_s};
const QStringList kSurnames{u"Meier"_s, u"M\u00fcller"_s, u"Schmidt"_s, u"O'Neil"_s, u"Nguyen"_s, u"Kowalski"_s};
const QStringList kForenames{u"Anna"_s, u"J\u00fcrgen"_s, u"Fatima"_s, u"Lukas"_s, u"Marie"_s, u"Ole"_s};

} // namespace

QByteArray OrderFile(int i, QRandomGenerator& random)
{
    const QString sample = u"B%1"_s.arg(i, 8, 10, QChar(u'0'));
    const QString end = random.bounded(2) == 0 ? u"\r\n"_s : u"\r"_s;
    QStringList lines;
    lines << u"MSH|^~\\&|KIS|HOSP|KESTRIN|LAB|20261207091405||ORM^O01|MSG%1|P|2.3"_s.arg(i);
    lines << u"PID|1||PAT%1||%2^%3||%4|%5"_s.arg(QString::number(random.bounded(1, 5000)),
                                                 kSurnames.at(random.bounded(kSurnames.size())),
                                                 kForenames.at(random.bounded(kForenames.size())),
                                                 u"19%1%2%3"_s.arg(random.bounded(40, 99))
                                                     .arg(random.bounded(1, 13), 2, 10, QChar(u'0'))
                                                     .arg(random.bounded(1, 29), 2, 10, QChar(u'0')),
                                                 random.bounded(2) ? u"F"_s : u"M"_s);
    lines << u"PV1|1|O|TOX^^^HOSP"_s;
    lines << u"ORC|NW|%1"_s.arg(sample) + QString(u"|"_s).repeated(19) + u"WARD%1"_s.arg(random.bounded(1, 40));
    const int tests = random.bounded(3, 7);
    for (int t = 1; t <= tests; ++t) {
        const QString code = kCodes.at(random.bounded(kCodes.size()));
        lines << u"OBR|%1|%2||%3^%3 screen|||20261207090000"_s.arg(QString::number(t), sample, code);
    }
    lines << u"NTE|1|L|URIN DATUM 07.12.2026 URIN UHRZEIT 08:%1"_s.arg(random.bounded(10, 60));
    if (random.bounded(3) == 0)
        lines << u"NTE|2|L|Patient nuechtern"_s;
    QString text;
    for (const QString& line : lines)
        text += line + end;
    return text.toUtf8();
}

bool WriteOrderFiles(const QString& folder, int count, const QString& copyTo)
{
    QDir().mkpath(folder);
    if (!copyTo.isEmpty())
        QDir().mkpath(copyTo);
    QRandomGenerator random(4711);
    for (int i = 0; i < count; ++i) {
        const QString name = u"order%1.hl7"_s.arg(i, 6, 10, QChar(u'0'));
        const QByteArray bytes = OrderFile(i, random);
        QFile file(QDir(folder).filePath(name));
        if (!file.open(QIODevice::WriteOnly) || file.write(bytes) < 0)
            return false;
        QFile copy(copyTo + u'/' + name);
        if (!copyTo.isEmpty() && (!copy.open(QIODevice::WriteOnly) || copy.write(bytes) < 0))
            return false;
    }
    return true;
}

void AddTestDefinitions(Database& db)
{
    for (int p = 0; p < kCodes.size(); ++p)
        db.exec(u"INSERT INTO TEST_DEF (PARAMETER_ID, IMP_CODE_LDT, PRINT_POS) VALUES (?, ?, ?)"_s,
                {p + 1, kCodes.at(p), p + 1});
}

BenchStation::BenchStation()
    : m_folder(qEnvironmentVariable("KESTRIN_BENCH_STATION"))
{
    if (m_folder.isEmpty())
        m_folder = m_temporary.path();
    else
        QDir().mkpath(m_folder);
    config.ComputerName = u"BENCH"_s;
    config.Engine = Engine::Sqlite;
    config.DatabaseName = path(u"lab.sqlite"_s);
    config.ComLogPath = path(u"log/"_s);
}

QString BenchStation::path(const QString& name) const { return QDir(m_folder).filePath(name); }

bool BenchStation::leftForProcess(const QStringList& iniLines) const
{
    if (qEnvironmentVariableIsEmpty("KESTRIN_BENCH_STATION"))
        return false;
    QFile ini(path(u"kestrin.ini"_s));
    if (!ini.open(QIODevice::WriteOnly | QIODevice::Truncate))
        qFatal("cannot write %s", qPrintable(ini.fileName()));
    QTextStream(&ini)
        << "[Kestrin]\nengine=sqlite\ndatabase=lab.sqlite\nComLogPath=log\nshiftlen=8\nfirstshift=01.01.2026 06:00:00\n"
        << iniLines.join(u'\n') << '\n';
    return true;
}

void BenchStation::open()
{
    m_db = ConnectDatabase(ConnectionSettingsOf(config), MissingDatabase::Created);
    m_log = std::make_unique<CommLog>(m_clock, RegionalFormat{}, config.Charset);
    m_ctx = std::make_unique<Context>(Context{config, *m_db, *m_log, m_clock});
    OpenLogFile(*m_ctx);
}

PostgresSchema::PostgresSchema(AppConfig& config)
{
    for (const QString& pair : qEnvironmentVariable("KESTRIN_TEST_PG").split(u' ', Qt::SkipEmptyParts)) {
        const QString key = pair.section(u'=', 0, 0);
        const QString value = pair.section(u'=', 1);
        if (key == u"host")
            host = value;
        else if (key == u"port")
            port = value;
        else if (key == u"dbname")
            config.DatabaseName = value;
        else if (key == u"user")
            config.DbUser = value;
        else if (key == u"password")
            config.DbPassword = value;
    }
    config.Engine = Engine::Postgres;
    config.ServerName = host + u':' + port;
    name = u"kb_"_s + QUuid::createUuid().toString(QUuid::Id128).left(16);
    admin = std::make_unique<Database>(MakeDialect(Engine::Postgres),
                                       LabConnectionParameters(ConnectionSettingsOf(config)));
    admin->open();
    admin->exec(u"SET client_min_messages TO warning"_s);
    admin->exec(u"CREATE SCHEMA "_s + name);
    admin->exec(u"SET search_path TO "_s + name);
    CreateMissingTables(*admin);
    admin->exec(u"SET search_path TO DEFAULT"_s);
    qputenv("PGOPTIONS", "-csearch_path=" + name.toLatin1());
}

PostgresSchema::~PostgresSchema() { admin->exec(u"DROP SCHEMA %1 CASCADE"_s.arg(name)); }

int MeasureCycle(const QString& title, const QString& items, int expected, const std::function<CycleOutcome()>& cycle)
{
    const auto mib = [](qint64 bytes) { return QString::number(bytes / 1048576.0, 'f', 1); };
    const qint64 before = PeakMemoryBytes();
    QElapsedTimer timer;
    timer.start();
    const CycleOutcome outcome = cycle();
    const double seconds = timer.nsecsElapsed() / 1e9;
    QTextStream(stdout) << title << '\n'
                        << "  handled " << outcome.handled << ", failed " << outcome.failed << " in "
                        << QString::number(seconds, 'f', 2)
                        << " s: " << QString::number(outcome.handled / seconds, 'f', 0) << ' ' << items
                        << " per second\n"
                        << "  peak memory " << mib(PeakMemoryBytes()) << " MiB (before the cycle " << mib(before)
                        << " MiB)\n";
    return outcome.failed == 0 && outcome.handled == expected ? 0 : 1;
}

} // namespace kestrin::bench
