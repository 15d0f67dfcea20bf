#include "LabStation.h"
#include "OrderBuilder.h"
#include "TestMain.h"
#include "config/Configuration.h"
#include "config/CycleSchedule.h"
#include "config/StartupChecks.h"
#include "core/Error.h"
#include "core/TextLines.h"
#include "hl7/FileDecoding.h"
#include "hl7export/ResultFile.h"
#include "hl7export/ResultMessage.h"
#include "hl7import/ImportCycle.h"
#include "hl7import/NativeFileNames.h"
#include "runtime/ChangeMarkers.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QRandomGenerator>

#include <algorithm>
#include <array>
#include <cstdio>
#include <functional>
#include <string_view>

using namespace Qt::StringLiterals;
using namespace std::string_view_literals;
using namespace kestrin;

namespace {

// How long, from which seed, and where the input in hand is kept: until its iteration has
// passed, so that a crash or a hang leaves it behind too.
struct FuzzRun {
    quint64 seed = 0;
    qint64 onlyIteration = -1; // KESTRIN_FUZZ_ITERATION: that iteration alone
    qint64 milliseconds = 20000;
    QString keep;
};

FuzzRun ReadFuzzRun()
{
    FuzzRun run;
    bool given = false;
    run.seed = qEnvironmentVariable("KESTRIN_FUZZ_SEED").toULongLong(&given);
    if (!given)
        run.seed = QRandomGenerator::system()->generate64();
    if (const qint64 seconds = qEnvironmentVariableIntValue("KESTRIN_FUZZ_SECONDS"); seconds > 0)
        run.milliseconds = seconds * 1000;
    bool one = false;
    if (const qint64 iteration = qEnvironmentVariable("KESTRIN_FUZZ_ITERATION").toLongLong(&one); one)
        run.onlyIteration = iteration;
    run.keep = QDir::temp().filePath(u"kestrin-fuzz-%1"_s.arg(run.seed));
    return run;
}

// Each iteration draws from its own generator, so that one can be repeated without the others.
QRandomGenerator IterationRandom(quint64 seed, qint64 iteration, quint32 kind)
{
    const std::array<quint32, 5> words{quint32(seed), quint32(seed >> 32), quint32(iteration),
                                       quint32(quint64(iteration) >> 32), kind};
    return QRandomGenerator(words.data(), qsizetype(words.size()));
}

template <typename T> T Pick(QRandomGenerator& rng, const std::initializer_list<T>& choices)
{
    return *(choices.begin() + rng.bounded(int(choices.size())));
}

QByteArray Bytes(std::string_view text) { return QByteArray(text.data(), qsizetype(text.size())); }

// Runs `body` for iterations 0, 1, ... until `milliseconds` have passed (or the one iteration
// asked for); returns what the first failing iteration found, with what repeats it.
QString FuzzFor(const FuzzRun& run, const QString& what, quint32 kind, qint64 milliseconds,
                const std::function<QString(QRandomGenerator&, const QString&)>& body)
{
    const QDeadlineTimer deadline(milliseconds);
    const QString keep = QDir(run.keep).filePath(what);
    qint64 iteration = qMax<qint64>(run.onlyIteration, 0);
    for (;; ++iteration) {
        QDir(keep).removeRecursively();
        QDir().mkpath(keep);
        QRandomGenerator rng = IterationRandom(run.seed, iteration, kind);
        if (const QString problem = body(rng, keep); !problem.isEmpty())
            return u"%1, seed %2, iteration %3: %4\nThe input is kept in %5; repeat it with KESTRIN_FUZZ_SEED=%2 "
                   u"KESTRIN_FUZZ_ITERATION=%3."_s.arg(what, QString::number(run.seed), QString::number(iteration),
                                                       problem, keep);
        if (run.onlyIteration >= 0 || deadline.hasExpired())
            break;
    }
    qInfo("%s: %lld iterations", qPrintable(what), iteration + 1 - qMax<qint64>(run.onlyIteration, 0));
    QDir(keep).removeRecursively();
    return {};
}

// ---- Order files ---------------------------------------------------------------------------

QByteArray SoundOrder(QRandomGenerator& rng)
{
    // One draw after the other: the order in which a call's arguments are evaluated is open.
    const QString patient = Pick(rng, {u"P100"_s, u"P101"_s, u"P1234567890123456"_s});
    const QString name =
        Pick(rng, {u"Meier^Anna"_s, u"M\u00fcller^J\u00f6rg"_s, u"Doe^John^^^^^Dr^med"_s, u"Single"_s});
    const QString birth = Pick(rng, {u"19800101"_s, u"19800231"_s, u"1980"_s, QString()});
    test::OrderBuilder order;
    order.controlId(Pick(rng, {u"MSG1"_s, u"MSG2"_s, u"\\F\\X"_s, u"ABCDEFGHIJKLMNOPQRSTUVWXYZ"_s}))
        .sample(Pick(rng, {u"4711"_s, u"4712"_s, u"A/B"_s, u"S\\T\\1"_s, u"12345678901234567890123"_s}))
        .patient(patient, name, birth, Pick(rng, {u"F"_s, u"MF"_s}))
        .customer(Pick(rng, {u"KIS1"_s, u"KIS2"_s, u"KIS123456789012345678901"_s, QString()}))
        .orderControl(Pick(rng, {u"NW"_s, u"NW"_s, u"CA"_s, QString()}));
    for (int n = rng.bounded(5); n > 0; --n)
        order.test(Pick(rng, {u"AMP"_s, u"COC"_s, u"THC"_s, u"XYZ"_s, QString()}));
    for (int n = rng.bounded(3); n > 0; --n)
        order.note(Pick(rng,
                        {u"URIN DATUM 24.12.2005 URIN UHRZEIT 08:15"_s, u"Abnahme URIN"_s,
                         u"URIN DATUM 31.02.2005 URIN UHRZEIT 25:99"_s, u"  "_s}));
    if (rng.bounded(4) == 0)
        order.charset(Pick(rng,
                           {u"8859/1"_s, u"UNICODE UTF-8"_s, u"8859/15~UNICODE UTF-8"_s, u"ASCII"_s, u"UTF-16"_s,
                            u"ISO IR87"_s, u"KLINGON"_s}));
    const QString text = order.text(Pick(rng, {u"\r"_s, u"\n"_s, u"\r\n"_s}));
    return rng.bounded(2) ? text.toUtf8() : text.toLatin1();
}

constexpr std::array kInsertions = {"|"sv,
                                    "^"sv,
                                    "~"sv,
                                    "\\"sv,
                                    "&"sv,
                                    "\\F\\"sv,
                                    "\\X0D\\"sv,
                                    "\\X"sv,
                                    "\\E\\E\\"sv,
                                    "\r"sv,
                                    "\n"sv,
                                    "\r\n\r\n"sv,
                                    "\0"sv,
                                    "\0\0\0"sv,
                                    "\xff"sv,
                                    "\xc3\x28"sv,
                                    "\xed\xa0\x80"sv,
                                    "\xf4\x90\x80\x80"sv,
                                    "\xc0\xaf"sv,
                                    "\xe4"sv,
                                    "\xef\xbb\xbf"sv,
                                    "\x0b"sv,
                                    "\x1c\r"sv,
                                    "MSH|"sv,
                                    "MSH|^~\\&|"sv,
                                    "|||||||||||||||||||||||"sv,
                                    "^^^^^^^^"sv,
                                    "PID|1||"sv,
                                    "ORC|CA|"sv,
                                    "URIN DATUM "sv};

constexpr std::array kSegments = {
    "MSH|^~\\&|KIS|HOSP|KESTRIN|LAB|20190120140503||ORM^O01|R1|P|2.3"sv,
    "MSH|^~\\&"sv,
    "PID|1||P9||Ab^Cd"sv,
    "PV1|1"sv,
    "ORC|NW|S9"sv,
    "OBR|1|S9||AMP"sv,
    "OBX|1|NM|AMP||5"sv,
    "NTE|1|L|URIN"sv,
    "ZZZ|1"sv,
};

// One change of the kinds that senders, disks and people make.
void Mutate(QRandomGenerator& rng, QByteArray& bytes, const QList<QByteArray>& others)
{
    // Every draw a statement of its own: the order in which a call's arguments are evaluated is
    // open, and a seed must give the same input with every compiler.
    const qsizetype at = rng.bounded(int(bytes.size()) + 1);
    switch (rng.bounded(12)) {
    case 0: // a bit or a byte changed
        if (at < bytes.size())
            bytes[at] = rng.bounded(2) ? char(bytes.at(at) ^ (1 << rng.bounded(8))) : char(rng.bounded(256));
        break;
    case 1:
    case 2: // delimiters, escapes, line ends, NUL and bytes that are no UTF-8
        bytes.insert(at, Bytes(kInsertions.at(rng.bounded(int(kInsertions.size())))));
        break;
    case 3:
        bytes.truncate(at);
        break;
    case 4: { // a segment repeated up to and past its counter
        const int times = Pick(rng, {2, 99, 100, 101, 1000, rng.bounded(20) == 0 ? 32768 : 3});
        const QByteArray line = Bytes(kSegments.at(rng.bounded(int(kSegments.size())))) + '\r';
        const qsizetype end = bytes.indexOf('\r', at);
        bytes.insert(end < 0 ? bytes.size() : end + 1, line.repeated(times));
        break;
    }
    case 5: { // a huge field
        const int size = Pick(rng, {255, 2001, 70000, 1 << 20});
        bytes.insert(at, QByteArray(size, Pick(rng, {'A', '|', '^', '\\', ' '})));
        break;
    }
    case 6: // line ends of another kind, or none
        bytes.replace('\r', Bytes(Pick(rng, {"\n"sv, "\r\n"sv, "\n\r"sv, "\r\r"sv, ""sv, "\x0b"sv})));
        break;
    case 7: { // empty lines
        const int lines = rng.bounded(1, 50);
        bytes.insert(at, QByteArray(lines, Pick(rng, {'\r', '\n'})));
        break;
    }
    case 8: // a part of another message, or all of it
        if (const QByteArray& other = others.at(rng.bounded(int(others.size()))); !other.isEmpty()) {
            const qsizetype from = rng.bounded(int(other.size()));
            bytes.insert(at, other.mid(from, rng.bounded(2) ? -1 : rng.bounded(int(other.size() - from) + 1)));
        }
        break;
    case 9:
        bytes.remove(at, rng.bounded(64));
        break;
    case 10: // framed as it came over a socket, or with a byte order mark
        bytes =
            Pick<QByteArray>(rng, {"\x0b"_ba + bytes + "\x1c\r"_ba, "\xef\xbb\xbf"_ba + bytes, "\xff\xfe"_ba + bytes});
        break;
    case 11: { // another character set named in MSH-18
        const QByteArray charset = Pick(
            rng, {"UNICODE UTF-8"_ba, "8859/1"_ba, "8859/7"_ba, "UTF-16"_ba, "\xff\xfe"_ba, "8859/1\0x"_ba, ""_ba});
        bytes.replace("|2.3", QByteArray("|2.3||||||" + charset));
        break;
    }
    }
}

// A name the sender might give: short, the longest a file system takes, with odd characters
// or bytes that are no text. All end in the import extension; `n` keeps them apart.
QByteArray OrderName(QRandomGenerator& rng, int n)
{
    const QByteArray number = QByteArray::number(n);
    switch (rng.bounded(8)) {
    case 0:
        return QByteArray(251 - number.size(), 'x') + number + ".hl7";
    case 1:
        return QString(QString(120, u'\u00fc') + QString::fromLatin1(number) + u".HL7"_s).toUtf8().left(255);
    case 2:
        return "#a b%" + number + "'$.hL7";
    case 3:
        return "." + number + "hl7";
#ifndef Q_OS_WIN
    case 4:
        return "M\xfc\xff" + number + ".hl7";
#endif
    default:
        return number + ".hl7";
    }
}

// Writes a file by its name's bytes, which need not be text.
bool DropFile(const QString& folder, const QByteArray& name, const QByteArray& bytes)
{
    QFile file;
#ifdef Q_OS_WIN
    file.setFileName(folder + QString::fromUtf8(name));
    if (!file.open(QIODevice::WriteOnly))
        return false;
#else
    std::FILE* handle = std::fopen(QByteArray(QFile::encodeName(folder) + name).constData(), "wb");
    if (!handle || !file.open(handle, QIODevice::WriteOnly, QFileDevice::AutoCloseHandle))
        return false;
#endif
    return file.write(bytes) == bytes.size();
}

// What is left in the import folder besides Done and EinleseFehler, also names that are no text.
QStringList Left(const AppConfig& config)
{
    QStringList left;
    ForEachFileName(config.ImportPath, [&](const QString& name, const QByteArray&) {
        const QString path = config.ImportPath + name;
        if (path != config.ImportDonePath && path != config.ImportErrorPath)
            left << name;
    });
    return left;
}

int MshLines(const QByteArray& bytes, const QString& charset)
{
    int count = 0;
    ForEachLine(DecodeOrderFile(bytes, charset),
                [&](QStringView line) { count += line.left(3).toString().toUpper() == u"MSH"; });
    return count;
}

int Count(test::LabStation& station, const QString& sql, const QVariantList& values = {})
{
    return station.db().first(sql, values)->at(0).toInt();
}

QList<QByteArray> Contents(const QString& folder)
{
    QList<QByteArray> contents;
    for (const QString& name : test::FileNames(folder))
        contents << test::ReadFile(QDir(folder).filePath(name));
    return contents;
}

// Some rounds of 1 to 6 files into one station's import folder, each round imported until
// the folder is empty. Returns what went wrong.
QString ImportOrders(QRandomGenerator& rng, const QList<QByteArray>& corpus, const QString& keep, CycleOutcome& all)
{
    test::LabStation station(u"sqlite"_s);
    station.seedTests();
    AppConfig& config = station.config;
    config.ImportMaxBytes = Pick(rng, {qint64(10 << 20), qint64(10 << 20), qint64(100), qint64(100000)});
    config.Charset = Pick(rng, {u"windows-1252"_s, u"UTF-8"_s, u"ISO-8859-7"_s});
    config.CancelSign = Pick(rng, {u"CA"_s, QString()});
    config.StdSampleMaterial = Pick(rng, {u"S"_s, u"U"_s});
    ImportOptions options;
    options.messagesPerCommit = Pick(rng, {1, 2, 100});
    options.filesPerListing = Pick(rng, {1, 3, 2000});
    ImportState state;
    QDir().mkpath(config.ImportPath);
    QList<QByteArray> dropped;
    CycleOutcome total;
    QFile names(QDir(keep).filePath(u"names.txt"_s));
    if (!names.open(QIODevice::WriteOnly))
        return u"The file %1 cannot be written."_s.arg(names.fileName());
    for (int round = rng.bounded(1, 4); round > 0; --round) {
        const int files = rng.bounded(1, 7);
        for (int n = 0; n < files; ++n) {
            QList<QByteArray> sources{SoundOrder(rng), SoundOrder(rng)};
            if (!corpus.isEmpty())
                sources << corpus.at(rng.bounded(int(corpus.size())));
            QByteArray bytes = sources.at(rng.bounded(int(sources.size())));
            for (int changes = rng.bounded(5); changes > 0; --changes)
                Mutate(rng, bytes, sources);
            const QByteArray name = OrderName(rng, n);
            names.write(name.toPercentEncoding() + '\n');
            names.flush();
            if (!DropFile(keep + u'/', QByteArray::number(dropped.size()) + ".hl7", bytes) ||
                !DropFile(config.ImportPath, name, bytes))
                return u"The order file %1 cannot be written."_s.arg(QString::fromUtf8(name));
            dropped << bytes;
        }
        for (int cycle = 0; !Left(config).isEmpty(); ++cycle) {
            if (cycle > files)
                return u"After %1 cycles these stay in the import folder: %2"_s.arg(cycle).arg(
                    Left(config).join(u", "_s));
            CycleOutcome outcome;
            try {
                outcome = RunImportCycle(station.ctx(), state, options);
            } catch (const std::exception& e) {
                return u"The import cycle threw: "_s + ErrorText(e);
            }
            if (outcome.handled + outcome.failed == 0)
                return u"A cycle took none of %1"_s.arg(Left(config).join(u", "_s));
            total += outcome;
            all += outcome;
        }
    }
    const QList<QByteArray> done = Contents(config.ImportDonePath);
    QList<QByteArray> filed = done + Contents(config.ImportErrorPath);
    std::sort(filed.begin(), filed.end());
    std::sort(dropped.begin(), dropped.end());
    if (filed != dropped)
        return u"%1 files were dropped, %2 filed; not each exactly once as it came."_s.arg(dropped.size())
            .arg(filed.size());
    if (done.size() != total.handled || filed.size() - done.size() != total.failed)
        return u"The cycles said %1 handled and %2 failed; Done holds %3 of %4."_s.arg(total.handled)
            .arg(total.failed)
            .arg(done.size())
            .arg(filed.size());
    // Each stored file once in the journal; a failed message leaves no archived line behind.
    if (const int journal = Count(station, u"SELECT COUNT(*) FROM KESTRIN_IMPORTS"_s); journal != done.size())
        return u"The import journal holds %1 rows for %2 files in Done."_s.arg(journal).arg(done.size());
    int msh = 0;
    for (const QByteArray& bytes : done)
        msh += MshLines(bytes, config.Charset);
    if (const int archived = Count(station, u"SELECT COUNT(*) FROM HL7_STRINGS WHERE STRING_DEF = ?"_s, {u"MSH"_s});
        archived != msh)
        return u"HL7_STRINGS holds %1 MSH lines; the files in Done have %2."_s.arg(archived).arg(msh);
    const qsizetype failureLines = station.logLines().filter(u"Fehler beim lesen der Nachricht : "_s).size();
    if (failureLines != total.failed)
        return u"The log names %1 failed messages, the cycles %2."_s.arg(failureLines).arg(total.failed);
    return {};
}

QList<QByteArray> ReadCorpus()
{
    const QString given = qEnvironmentVariable("KESTRIN_FUZZ_CORPUS");
    const QDir folder(given.isEmpty() ? test::SourceDir() + u"/../shared/corpus/hl7"_s : given);
    QList<QByteArray> corpus;
    for (const QString& name : folder.entryList({u"*.hl7"_s}, QDir::Files, QDir::Name))
        corpus << test::ReadFile(folder.filePath(name));
    return corpus;
}

// ---- INI files -----------------------------------------------------------------------------

// Every key ReadConfiguration takes, with the value of a sound configuration where it needs one.
struct IniKeyValue {
    std::string_view key;
    std::string_view sound;
};
constexpr auto kIniKeys = std::to_array<IniKeyValue>({
    {"language"sv, "german"sv},
    {"server"sv, "(local)"sv},
    {"AccessPath"sv, ""sv},
    {"database"sv, "lab.sqlite"sv},
    {"SQLSVR"sv, ""sv},
    {"AppPath"sv, "app"sv},
    {"ComLogPath"sv, "log"sv},
    {"ImportPath"sv, "in"sv},
    {"ExportPath"sv, "out"sv},
    {"TempExportPath"sv, "tmp"sv},
    {"COMLOGPATH"sv, "log"sv},
    {"shiftlen"sv, "8"sv},
    {"firstshift"sv, "01.01.2019 06:00:00"sv},
    {"ImportCycle"sv, "1"sv},
    {"ExportCycle"sv, "10"sv},
    {"dateformat"sv, ""sv},
    {"lang_dateformat"sv, ""sv},
    {"USdateimport"sv, ""sv},
    {"STDSampleMat"sv, "S"sv},
    {"ImportLeader"sv, ""sv},
    {"ExportLeader"sv, "ORU_"sv},
    {"ImportExtension"sv, "hl7"sv},
    {"ExportExtension"sv, ".hl7"sv},
    {"CancelSign"sv, "CA"sv},
    {"HL7ORUSender"sv, "KESTRIN"sv},
    {"HL7ORUEmpf"sv, "KIS"sv},
    {"OBR3TEXT"sv, "DRUGSCREEN"sv},
    {"engine"sv, "sqlite"sv},
    {"Charset"sv, "windows-1252"sv},
    {"ShortDateFormat"sv, "dd.MM.yyyy"sv},
    {"TimeFormat"sv, "HH:mm:ss"sv},
    {"DecimalSeparator"sv, ","sv},
    {"DbUser"sv, ""sv},
    {"DbPassword"sv, ""sv},
    {"OdbcDriver"sv, ""sv},
    {"ComDevice1"sv, ""sv},
    {"ComDevice2"sv, ""sv},
    {"ImportMinAge"sv, "1000"sv},
    {"ImportMaxBytes"sv, "10485760"sv},
    {"ControlIdMask"sv, ""sv},
});

constexpr std::array kHostileValues = {
    "0"sv,
    "-1"sv,
    "1e-300"sv,
    "-1e-300"sv,
    "1e300"sv,
    "1e309"sv,
    "-1e309"sv,
    "NaN"sv,
    "inf"sv,
    "-inf"sv,
    "2147483647"sv,
    "2147483648"sv,
    "-2147483649"sv,
    "9223372036854775808"sv,
    "0.0002777"sv,
    "0.0002778"sv,
    "2730.5"sv,
    "2731"sv,
    "32767.5"sv,
    "32768"sv,
    "0x1F"sv,
    "1,5"sv,
    " 8"sv,
    "8abc"sv,
    ""sv,
    "|"sv,
    "^"sv,
    "~"sv,
    "\\"sv,
    "&"sv,
    "a|b"sv,
    ".."sv,
    "../up"sv,
    "..\\up"sv,
    "/"sv,
    "C:\\x"sv,
    "CON"sv,
    "COM"sv,
    "LPT"sv,
    "NUL"sv,
    "a/b"sv,
    "x:y"sv,
    "*?"sv,
    "\""sv,
    "'"sv,
    "%1"sv,
    "\t"sv,
    "\x01"sv,
    "\x7f"sv,
    "\x1c"sv,
    "\xc2\x85"sv,
    "\xe2\x80\xa8"sv,
    "\xff"sv,
    "\xc3\x28"sv,
    "\0"sv,
    "\xe4"sv,
    "\xe2\x82\xac"sv,
    "dd|MM|yyyy"sv,
    "HH:mm|ss"sv,
    "'|'"sv,
    "dd^MM^yyyy"sv,
    "yyyy"sv,
    "h:mm AP"sv,
    "ddd"sv,
    "t"sv,
    "''"sv,
    "UTF-16"sv,
    "UTF-32"sv,
    "Shift_JIS"sv,
    "GB18030"sv,
    "x"sv,
};

QByteArray HostileValue(QRandomGenerator& rng, const QByteArray& sound)
{
    const QByteArray hostile = Bytes(kHostileValues.at(rng.bounded(int(kHostileValues.size()))));
    switch (rng.bounded(4)) {
    case 0: // into the sound value
        return QByteArray(sound).insert(rng.bounded(int(sound.size()) + 1), hostile);
    case 1: {
        const int size = Pick(rng, {64, 65, 255, 256, 5000, 100000});
        return QByteArray(size, Pick(rng, {'x', '9', '|', '.'}));
    }
    case 2:
        return hostile.repeated(rng.bounded(1, 300));
    default:
        return hostile;
    }
}

QByteArray HostileIni(QRandomGenerator& rng)
{
    QList<QByteArray> lines;
    for (const IniKeyValue& key : kIniKeys) {
        if (!key.sound.empty())
            lines << Bytes(key.key) + '=' + Bytes(key.sound);
    }
    for (int n = rng.bounded(1, 6); n > 0; --n) {
        const IniKeyValue& key = kIniKeys.at(rng.bounded(int(kIniKeys.size())));
        QByteArray line = Bytes(key.key) + '=' + HostileValue(rng, Bytes(key.sound));
        if (rng.bounded(8) == 0) // a line as a hand or an editor might spoil it
            line = Pick<QByteArray>(
                rng, {"[" + line, ";" + line, Bytes(key.key) + " = 0", Bytes(key.key), line + "=" + line});
        lines.insert(rng.bounded(int(lines.size()) + 1), line);
    }
    QByteArray text = lines.join(Pick(rng, {"\n"_ba, "\r\n"_ba, "\r"_ba}));
    return rng.bounded(8) == 0 ? "\xef\xbb\xbf" + text : text;
}

// Settings that start-up took must work: shifts and cycles count without overflow, a result
// file is one name in the export folder, and values put into a result message keep its fields.
QString CheckAccepted(const AppConfig& c, test::LabStation& station)
{
    const RegionalFormat format{c.ShortDateFormat, c.TimeFormat, c.DecimalSeparator};
    const QDateTime first = *ParseRegionalDateTime(c.FirstShift, format);
    for (const QDateTime& time : {first, first.addYears(-5000), QDateTime(QDate(9999, 12, 31), QTime(23, 0))}) {
        if (ShiftNumber(time, first, c.ShiftLength) < 0)
            return u"ShiftNumber is negative for %1."_s.arg(time.toString(Qt::ISODate));
    }
    CycleSchedule schedule(c.ComputerName, c.ImportCycle, c.ExportCycle);
    for (const auto& [cutoff, tick] : {std::pair{schedule.importCutoff(), &CycleSchedule::importTick},
                                       std::pair{schedule.exportCutoff(), &CycleSchedule::exportTick}}) {
        if (cutoff > CycleSchedule::kMaxCutoff)
            return u"A cycle of %1 ticks was accepted."_s.arg(cutoff);
        bool due = false;
        for (qint64 n = 0; n < qMax<qint64>(cutoff, 1) && !due; ++n)
            due = (schedule.*tick)();
        if (!due)
            return u"No cycle is due after %1 ticks."_s.arg(cutoff);
    }
    for (const QString& sample : {u"4711"_s, u"A/B"_s, u".."_s, u"1"_s, QString(19, u'\u20ac')}) {
        const QString name = ResultFileName(c.ExportLeader, sample, c.ExportExtension);
        if (name.isEmpty() || name == u"." || name == u".." || name.contains(u'/') || name.contains(u'\\') ||
            QFile::encodeName(name).size() > 255)
            return u"The result file of sample %1 would be named \"%2\"."_s.arg(sample, name);
    }
    station.config.HL7ORUSender = c.HL7ORUSender;
    station.config.HL7ORUEmpf = c.HL7ORUEmpf;
    station.config.OBR3TEXT = c.OBR3TEXT;
    station.config.ShortDateFormat = c.ShortDateFormat;
    station.config.TimeFormat = c.TimeFormat;
    station.config.DecimalSeparator = c.DecimalSeparator;
    const ResultMessage message = ComposeResultMessage(station.ctx(), u"4711"_s, TestCatalogue::Load(station.db()));
    if (message.msh.split(u'|').size() != 12 || message.obr.split(u'|').size() != 26)
        return u"The result message's fields moved:\n%1\n%2"_s.arg(message.msh, message.obr);
    for (const QString& line : message.lines()) {
        if (line.contains(u'\r') || line.contains(u'\n'))
            return u"A line of the result message breaks: "_s + line;
    }
    return {};
}

QString CheckIni(QRandomGenerator& rng, test::LabStation& station, const QString& keep, int& accepted)
{
    const QString path = QDir(keep).filePath(u"kestrin.ini"_s);
    test::WriteFile(path, HostileIni(rng));
    AppConfig config;
    try {
        static_cast<IniSettings&>(config) = ReadConfiguration(path);
    } catch (const StartupError&) {
        return {}; // refused, with a message naming key and value
    } catch (const std::exception& e) {
        return u"ReadConfiguration failed otherwise than with a StartupError: "_s + ErrorText(e);
    }
    config.ComputerName = Pick(rng, {u"LABPC"_s, u"XJ01"_s});
    config.IniFilePath = path;
    if (!StartupProblems(config).isEmpty())
        return {};
    ++accepted;
    return CheckAccepted(config, station);
}

} // namespace

// Hostile order files and INI files from a seed, against the real import cycle and start-up.
// KESTRIN_FUZZ_SECONDS (default 20) is how long both take together; KESTRIN_FUZZ_SEED repeats
// a run, KESTRIN_FUZZ_ITERATION one iteration of it.
class TestFuzz : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void orderFiles();
    void iniFiles();
    void cleanupTestCase();

private:
    FuzzRun m_run;
};

void TestFuzz::initTestCase()
{
    m_run = ReadFuzzRun();
    qInfo("Fuzzing with KESTRIN_FUZZ_SEED=%llu for %lld s; the input in hand is kept in %s until it has passed.",
          m_run.seed, m_run.milliseconds / 1000, qPrintable(m_run.keep));
}

void TestFuzz::orderFiles()
{
    const QList<QByteArray> corpus = ReadCorpus();
    if (corpus.isEmpty()) {
        // In CI the corpus is always there: its absence would narrow what is tried unseen.
        QVERIFY2(qEnvironmentVariable("KESTRIN_REQUIRE_CORPUS") != u"1", "The HL7 corpus is missing.");
        qInfo("No HL7 corpus found; the order files are built from generated messages alone.");
    }
    CycleOutcome all;
    const QString failure =
        FuzzFor(m_run, u"order files"_s, 1, m_run.milliseconds * 3 / 4,
                [&](QRandomGenerator& rng, const QString& keep) { return ImportOrders(rng, corpus, keep, all); });
    qInfo("order files: %d stored, %d failed", all.handled, all.failed);
    QVERIFY2(failure.isEmpty(), qPrintable(failure));
}

void TestFuzz::iniFiles()
{
    test::LabStation station(u"sqlite"_s);
    station.seedTests();
    station.db().exec(u"INSERT INTO SAMPLE_BASE (SAMPLE_ID, STATUS_1) VALUES (?, ?)"_s, {u"4711"_s, u"MSG1"_s});
    station.db().exec(u"INSERT INTO RESULTS (SAMPLE_ID, PARAMETER_ID, RESULT) VALUES (?, ?, ?)"_s, {u"4711"_s, 1, 1.5});
    int accepted = 0;
    const QString failure =
        FuzzFor(m_run, u"INI files"_s, 2, m_run.milliseconds / 4,
                [&](QRandomGenerator& rng, const QString& keep) { return CheckIni(rng, station, keep, accepted); });
    qInfo("INI files: %d taken by start-up", accepted);
    QVERIFY2(failure.isEmpty(), qPrintable(failure));
}

void TestFuzz::cleanupTestCase() { QDir().rmdir(m_run.keep); }

KESTRIN_TEST_MAIN(TestFuzz)
#include "tst_fuzz.moc"
