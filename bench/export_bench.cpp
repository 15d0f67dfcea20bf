// Export benchmark: N queued samples with 5 results and 2 open requests each, one export
// cycle on a fresh embedded database. Every result file is forced to disk before it is
// published, and the queue rows go only after. Prints samples per second and peak memory.
//
//   export_bench [N=10000] [samples per commit=10]
//
// KESTRIN_BENCH_COPY_TO=<file> leaves a copy of the queued database there (for
// bench/compare_export.sh, which gives the same queue to a plain script);
// KESTRIN_BENCH_STATION=<folder> leaves the whole station there for `kestrin /cycle=export`.

#include "BenchStation.h"
#include "core/Clock.h"
#include "hl7export/ExportCycle.h"

#include <QCoreApplication>
#include <QDir>

using namespace Qt::StringLiterals;
using namespace kestrin;

int main(int argc, char* argv[])
{
    NameSystemTimeZone(); // as the program does
    QCoreApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    const int count = args.size() > 1 ? args.at(1).toInt() : 10000;
    ExportOptions options;
    if (args.size() > 2)
        options.samplesPerCommit = args.at(2).toInt();

    bench::BenchStation station;
    AppConfig& config = station.config;
    config.ExportPath = station.path(u"out/"_s);
    config.TempExportPath = station.path(u"tmp/"_s);
    QDir().mkpath(config.ExportPath); // the receiving system's folder is there
    config.ExportLeader = u"ORU_"_s;
    config.ExportExtension = u".hl7"_s;
    config.HL7ORUSender = u"KESTRIN"_s;
    config.HL7ORUEmpf = u"KIS"_s;
    config.OBR3TEXT = u"DRUGSCREEN"_s;
    station.open();
    Database& db = station.db();
    {
        Transaction seed(db);
        for (int p = 1; p <= 10; ++p)
            db.exec(u"INSERT INTO TEST_DEF (PARAMETER_ID, IMP_CODE_LDT, LONG, UNIT, CUTOFF, PRINT_POS) "
                    u"VALUES (?, ?, ?, ?, ?, ?)"_s,
                    {p, u"T%1"_s.arg(p), u"Test %1"_s.arg(p), u"ng/mL"_s, u"%1"_s.arg(p * 50), p});
        const QDateTime now = QDateTime::currentDateTime();
        for (int i = 0; i < count; ++i) {
            const QString sample = u"B%1"_s.arg(i, 8, 10, QChar(u'0'));
            const QString order = u"ORD%1"_s.arg(i, 8, 10, QChar(u'0'));
            db.exec(
                u"INSERT INTO SAMPLE_BASE (SAMPLE_ID, STATUS_1, LAST_CHANGE_DAT, COMMENT_COLL) VALUES (?, ?, ?, ?)"_s,
                {sample, order, now, u"Abnahme unter Sicht"_s});
            db.exec(u"INSERT INTO HL7_STRINGS (ORDER_ID, STRING_DEF, STRING_DEF_CTR, STRING_TEXT, TIME_STAMP) "
                    u"VALUES (?, ?, ?, ?, ?)"_s,
                    {order, u"PID"_s, 1, u"PID|1||P%1||Meier^Anna||19800101|F"_s.arg(i), now});
            db.exec(u"INSERT INTO HL7_STRINGS (ORDER_ID, STRING_DEF, STRING_DEF_CTR, STRING_TEXT, TIME_STAMP) "
                    u"VALUES (?, ?, ?, ?, ?)"_s,
                    {order, u"PV1"_s, 1, u"PV1|1|O|TOX^^^HOSP"_s, now});
            for (int p = 1; p <= 5; ++p) {
                db.exec(u"INSERT INTO RESULTS (SAMPLE_ID, PARAMETER_ID, RESULT, INTERPRETATION) VALUES (?, ?, ?, ?)"_s,
                        {sample, p, QString::number(p * 17), u"negative"_s});
                db.exec(u"INSERT INTO REQ2SEND (SAMPLE_ID, PARAMETER_ID) VALUES (?, ?)"_s, {sample, p});
            }
            for (int p = 6; p <= 7; ++p)
                db.exec(u"INSERT INTO REQUEST (SAMPLE_ID, PARAMETER_ID) VALUES (?, ?)"_s, {sample, p});
        }
        seed.commit();
    }
    if (const QString copyTo = qEnvironmentVariable("KESTRIN_BENCH_COPY_TO"); !copyTo.isEmpty())
        db.exec(u"VACUUM INTO ?"_s, {copyTo});
    if (station.leftForProcess({u"ExportPath=out"_s, u"TempExportPath=tmp"_s, u"ExportLeader=ORU_"_s,
                                u"ExportExtension=.hl7"_s, u"HL7ORUSender=KESTRIN"_s, u"HL7ORUEmpf=KIS"_s,
                                u"OBR3TEXT=DRUGSCREEN"_s}))
        return 0;
    return bench::MeasureCycle(
        u"export_bench: %1 queued samples (5 results, 2 open requests each), %2 samples per commit"_s.arg(count).arg(
            options.samplesPerCommit),
        u"samples"_s, count, [&] { return ExportPendingResults(station.ctx(), options); });
}
