// Sample-ID station benchmark: a laboratory database with 100 000 requests over 20 000
// samples, 2 000 of them for the station's analyser, and the station with its real window
// (offscreen). Times the one-second refresh with no new sample and with 50 new ones, and the
// time from a scanned ID's Enter to its tile being selected, scrolled to and painted. Then
// the station runs in the service's process, as the laboratory runs it, while the service
// imports a pile of order files: a scanner types an ID every 20 ms, and the time from its
// Enter to the selected tile is measured for the scans typed while the import ran.
//
//   idstation_bench [sqlite|postgres] [refreshes=300] [order files=3000]
//
// "postgres" runs on the server that KESTRIN_TEST_PG names (libpq key=value form), in a
// schema of its own that is dropped at the end.

#include "BenchStation.h"
#include "PeakMemory.h"
#include "core/Error.h"
#include "hl7import/ImportCycle.h"
#include "idstation/SampleIdStation.h"
#include "idstation/SampleIdWindow.h"
#include "labdb/Connection.h"
#include "labdb/Schema.h"
#include "service/Service.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QLineEdit>
#include <QRandomGenerator>
#include <QTextStream>
#include <QUuid>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>

using namespace Qt::StringLiterals;
using namespace kestrin;

namespace {

const SystemClock kSystemClock;

constexpr int Samples = 20000;
constexpr int RequestsPerSample = 5;
constexpr int StationShare = 10; // every tenth sample has a request for the station's analyser
constexpr int StationParameters = 5;
constexpr int Parameters = 40;
const QString Analyser = u"AN1"_s;

QString sampleId(int i) { return u"26%1"_s.arg(i, 7, 10, QChar(u'0')); }

// A patient, a sample and its requests; a station sample asks for one of the analyser's
// parameters, the rest for other analysers' parameters.
void addSample(Database& db, int i, QRandomGenerator& random)
{
    const QString id = sampleId(i);
    const QString siId = u"P"_s + id;
    db.exec(u"INSERT INTO PATIENTS (SI_ID, SURNAME, FORENAME) VALUES (?, ?, ?)"_s,
            {siId, u"Surname%1"_s.arg(i), u"Forename%1"_s.arg(i % 97)});
    db.exec(u"INSERT INTO SAMPLE_BASE (SAMPLE_ID, SI_ID, P_ID) "
            u"SELECT ?, ?, P_ID FROM PATIENTS WHERE SI_ID = ?"_s,
            {id, siId, siId});
    QList<int> parameters;
    if (i % StationShare == 0)
        parameters << 1 + random.bounded(StationParameters);
    while (parameters.size() < RequestsPerSample) {
        const int p = StationParameters + 1 + random.bounded(Parameters - StationParameters);
        if (!parameters.contains(p))
            parameters << p;
    }
    for (const int p : parameters)
        db.exec(u"INSERT INTO REQUEST (SAMPLE_ID, PARAMETER_ID) VALUES (?, ?)"_s, {id, p});
}

void seed(Database& db)
{
    QRandomGenerator random(7);
    Transaction transaction(db);
    for (int p = 1; p <= Parameters; ++p) {
        const QString analyser = p <= StationParameters ? Analyser : u"AN%1"_s.arg(2 + p % 4);
        db.exec(u"INSERT INTO param2channel (parameter_id, analyzer_id, channel_id) VALUES (?, ?, ?)"_s,
                {p, analyser, p});
    }
    for (int i = 0; i < Samples; ++i)
        addSample(db, i, random);
    transaction.commit();
    // The statistics a server keeps up by itself (autovacuum) within a minute of such a load.
    if (db.dialect().engine() == u"postgres")
        db.exec(u"ANALYZE %1, %2, %3, %4"_s.arg(db.dialect().quote(u"REQUEST"_s), db.dialect().quote(u"SAMPLE_BASE"_s),
                                                db.dialect().quote(u"PATIENTS"_s),
                                                db.dialect().quote(u"param2channel"_s)));
}

struct Times {
    QList<double> ms;
    void add(const QElapsedTimer& timer) { ms << timer.nsecsElapsed() / 1e6; }
    double percentile(double p)
    {
        std::sort(ms.begin(), ms.end());
        const auto rank = qsizetype(std::ceil(p / 100 * double(ms.size())));
        return ms.at(std::clamp<qsizetype>(rank - 1, 0, ms.size() - 1));
    }
    QString summary()
    {
        if (ms.isEmpty())
            return u"no runs"_s;
        return u"median %1 ms, 99th percentile %2 ms, slowest %3 ms (%4 runs)"_s.arg(
            QString::number(percentile(50), 'f', 2), QString::number(percentile(99), 'f', 2),
            QString::number(percentile(100), 'f', 2), QString::number(ms.size()));
    }
};

// What the operator sees follows the station: the paint is part of each measurement.
void paint() { QCoreApplication::processEvents(); }

void key(QWidget* target, Qt::Key key, const QString& text = {})
{
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, text);
    QCoreApplication::sendEvent(target, &press);
    QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier, text);
    QCoreApplication::sendEvent(target, &release);
}

using Steady = std::chrono::steady_clock;

// A barcode scanner on a thread of its own: it types an ID and Enter every 20 ms, whatever
// the window is doing, and each answer is timed from the Enter to the selected tile.
class Scanner {
public:
    Scanner(QLineEdit* input, SampleIdStation& station, const std::atomic<bool>& importing)
        : m_input(input)
        , m_station(station)
        , m_importing(importing)
        , m_thread([this] { scan(); })
    {
    }
    ~Scanner() { stop(); }
    void stop()
    {
        m_stop = true;
        if (m_thread.joinable())
            m_thread.join();
    }
    Times whileImporting;
    int wrong = 0;

private:
    void scan()
    {
        QRandomGenerator random(13);
        while (!m_stop) {
            const QString id = sampleId(random.bounded(Samples / StationShare) * StationShare);
            for (const QChar c : id)
                QCoreApplication::postEvent(m_input,
                                            new QKeyEvent(QEvent::KeyPress, Qt::Key(c.unicode()), Qt::NoModifier, c));
            const bool importing = m_importing;
            const auto enter = Steady::now();
            QCoreApplication::postEvent(m_input,
                                        new QKeyEvent(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier, u"\r"_s));
            // Posted after the Enter, so it runs once the Enter is handled.
            QMetaObject::invokeMethod(
                m_input,
                [this, id, enter, importing] {
                    if (m_station.selection().SelectedId() != id)
                        ++wrong;
                    if (importing)
                        whileImporting.ms << std::chrono::duration<double, std::milli>(Steady::now() - enter).count();
                },
                Qt::QueuedConnection);
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    }

    QLineEdit* m_input;
    SampleIdStation& m_station;
    const std::atomic<bool>& m_importing;
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};

// The station in the service's process while the service's timer imports `files` order
// files; returns the exit status.
int scansWhileImporting(bench::BenchStation& lab, int files)
{
    QTextStream out(stdout);
    AppConfig config = lab.config;
    config.ImportPath = lab.path(u"in/"_s);
    config.ImportDonePath = config.ImportPath + u"Done"_s;
    config.ImportErrorPath = config.ImportPath + u"EinleseFehler"_s;
    config.ImportExtension = u"hl7"_s;
    config.ImportMinAge = 0;
    config.ImportCycle = 0; // a cycle at every tick of the import timer
    config.StdSampleMaterial = u"S"_s;
    config.ExportTimerEnabled = false;
    if (!bench::WriteOrderFiles(config.ImportPath, files))
        return 2;
    bench::AddTestDefinitions(lab.db());

    std::atomic<bool> importing{false};
    CycleOutcome imported;
    QEventLoop loop;
    CycleEntries entries;
    entries.importCycle = [&](Context& ctx) {
        importing = true;
        const CycleOutcome outcome = RunImportCycle(ctx);
        importing = false;
        if (outcome.handled > 0) {
            imported = outcome;
            QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
        }
        return outcome;
    };
    Service service(kSystemClock, config, entries);
    SilentProgress progress;
    service.start(progress);
    SampleIdStation station(service.context());
    SampleIdWindow window(station);
    window.resize(1280, 900);
    window.show();
    station.open();
    service.startTimers();
    QElapsedTimer timer;
    timer.start();
    Scanner scanner(window.findChild<QLineEdit*>(u"zeingabe"_s), station, importing);
    loop.exec();
    scanner.stop();
    QCoreApplication::processEvents(); // the last answers
    out << "  scan to selected tile while the service imports " << files << " order files (" << imported.handled
        << " stored " << QString::number(timer.elapsed() / 1000.0, 'f', 1)
        << " s after the timers started): " << scanner.whileImporting.summary() << '\n';
    return imported.handled == files && scanner.wrong == 0 && !scanner.whileImporting.ms.isEmpty() ? 0 : 1;
}

// The station's part of the benchmark on an open database; returns the exit status.
int run(bench::BenchStation& lab, const QString& engine, int refreshes, int orderFiles)
{
    QTextStream out(stdout);
    Database& db = lab.db();
    QElapsedTimer timer;
    timer.start();
    seed(db);
    out << "idstation_bench on " << engine << ": " << Samples * RequestsPerSample << " requests over " << Samples
        << " samples, " << Samples / StationShare << " for analyser " << Analyser << " (seeded in "
        << QString::number(timer.elapsed() / 1000.0, 'f', 1) << " s)\n";

    lab.config.StationId = Analyser;
    SampleIdStation station(lab.ctx());
    SampleIdWindow window(station);
    window.resize(1280, 900);
    window.show();
    timer.restart();
    station.open();
    paint();
    station.stop(); // the benchmark ticks itself
    out << "  opening with " << station.tiles().tileCount() << " tiles: " << timer.elapsed() << " ms\n";
    if (station.tiles().tileCount() != Samples / StationShare)
        return 1;

    Times unchanged;
    for (int i = 0; i < refreshes; ++i) {
        timer.restart();
        station.refresh();
        paint();
        unchanged.add(timer);
    }
    out << "  refresh, no new sample: " << unchanged.summary() << '\n';

    auto* input = window.findChild<QLineEdit*>(u"zeingabe"_s);
    QRandomGenerator random(11);
    Times scans;
    for (int i = 0; i < refreshes; ++i) {
        const QString id = sampleId(random.bounded(Samples / StationShare) * StationShare);
        for (const QChar c : id)
            key(input, Qt::Key(c.unicode()), c);
        timer.restart();
        key(input, Qt::Key_Return, u"\r"_s);
        paint();
        scans.add(timer);
        if (station.selection().SelectedId() != id)
            return 1;
    }
    out << "  scan to selected tile, " << station.tiles().tileCount() << " tiles: " << scans.summary() << '\n';

    Times added;
    const int rounds = std::max(10, refreshes / 10);
    for (int round = 0; round < rounds; ++round) {
        {
            Transaction transaction(db);
            for (int i = 0; i < 50; ++i)
                addSample(db, Samples + (round * 50 + i) * StationShare, random);
            transaction.commit();
        }
        const int before = station.tiles().tileCount();
        timer.restart();
        station.refresh();
        paint();
        added.add(timer);
        if (station.tiles().tileCount() != before + 50)
            return 1;
    }
    out << "  refresh with 50 new samples (" << Samples / StationShare << " to " << station.tiles().tileCount()
        << " tiles): " << added.summary() << '\n';
    out << "  peak memory " << QString::number(bench::PeakMemoryBytes() / 1048576.0, 'f', 1) << " MiB\n";
    out << Qt::flush;
    if (!station.listIsCurrent())
        return 1;
    return orderFiles > 0 ? scansWhileImporting(lab, orderFiles) : 0;
}

} // namespace

int main(int argc, char* argv[])
{
    NameSystemTimeZone(); // as the program does
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    const QString engine = args.value(1, u"sqlite"_s);
    const int refreshes = args.size() > 2 ? args.at(2).toInt() : 300;
    const int orderFiles = args.size() > 3 ? args.at(3).toInt() : 3000;
    try {
        bench::BenchStation lab;
        std::unique_ptr<bench::PostgresSchema> schema;
        if (engine == u"postgres")
            schema = std::make_unique<bench::PostgresSchema>(lab.config);
        lab.open();
        return run(lab, engine, refreshes, orderFiles);
    } catch (const std::exception& e) {
        QTextStream(stderr) << "idstation_bench: " << ErrorText(e) << Qt::endl;
        return 2;
    }
}
