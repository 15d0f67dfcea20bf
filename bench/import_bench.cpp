// Import benchmark: N generated order files, one import cycle on a fresh embedded database
// with durable commits (WAL, synchronous=FULL). Prints messages per second and peak memory.
//
//   import_bench [N=10000] [messages per commit=100] [sqlite|postgres]
//
// "postgres" runs on the server that KESTRIN_TEST_PG names, in a schema of its own.
// KESTRIN_BENCH_COPY_TO=<folder> leaves a copy of the generated files there (for
// bench/compare_import.sh, which gives the same files to a plain script).

#include "BenchStation.h"
#include "core/Clock.h"
#include "hl7import/ImportCycle.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QRandomGenerator>

using namespace Qt::StringLiterals;
using namespace kestrin;

namespace {

const QStringList kCodes{u"AMP"_s, u"BAR"_s, u"BZD"_s, u"COC"_s,  u"MDMA"_s,
                         u"MTD"_s, u"OPI"_s, u"THC"_s, u"CREA"_s, u"ETG"_s};
const QStringList kSurnames{u"Meier"_s, u"M\u00fcller"_s, u"Schmidt"_s, u"O'Neil"_s, u"Nguyen"_s, u"Kowalski"_s};
const QStringList kForenames{u"Anna"_s, u"J\u00fcrgen"_s, u"Fatima"_s, u"Lukas"_s, u"Marie"_s, u"Ole"_s};

QByteArray orderFile(int i, QRandomGenerator& random)
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

} // namespace

int main(int argc, char* argv[])
{
    NameSystemTimeZone(); // as the program does
    QCoreApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    const int count = args.size() > 1 ? args.at(1).toInt() : 10000;
    ImportOptions options;
    if (args.size() > 2)
        options.messagesPerCommit = args.at(2).toInt();

    bench::BenchStation station;
    std::unique_ptr<bench::PostgresSchema> schema;
    if (args.value(3) == u"postgres")
        schema = std::make_unique<bench::PostgresSchema>(station.config);
    AppConfig& config = station.config;
    config.ImportPath = station.dir.filePath(u"in/"_s);
    config.ImportDonePath = config.ImportPath + u"Done"_s;
    config.ImportErrorPath = config.ImportPath + u"EinleseFehler"_s;
    config.ImportExtension = u"hl7"_s;
    config.ImportMinAge = 0;
    config.StdSampleMaterial = u"S"_s;

    QDir().mkpath(config.ImportPath);
    QRandomGenerator random(4711);
    const QString copyTo = qEnvironmentVariable("KESTRIN_BENCH_COPY_TO");
    if (!copyTo.isEmpty())
        QDir().mkpath(copyTo);
    for (int i = 0; i < count; ++i) {
        const QString name = u"order%1.hl7"_s.arg(i, 6, 10, QChar(u'0'));
        const QByteArray bytes = orderFile(i, random);
        QFile file(config.ImportPath + name);
        if (!file.open(QIODevice::WriteOnly) || file.write(bytes) < 0)
            return 2;
        QFile copy(copyTo + u'/' + name);
        if (!copyTo.isEmpty() && (!copy.open(QIODevice::WriteOnly) || copy.write(bytes) < 0))
            return 2;
    }
    station.open();
    for (int p = 0; p < kCodes.size(); ++p)
        station.db().exec(u"INSERT INTO TEST_DEF (PARAMETER_ID, IMP_CODE_LDT, PRINT_POS) VALUES (?, ?, ?)"_s,
                          {p + 1, kCodes.at(p), p + 1});

    return bench::MeasureCycle(u"import_bench: %1 order files, %2 messages per commit, %3"_s.arg(count)
                                   .arg(options.messagesPerCommit)
                                   .arg(station.db().description()),
                               u"messages"_s, count, [&] { return RunImportCycle(station.ctx(), options); });
}
