#include "LabStation.h"

#include "TestEnvironment.h"
#include "core/TextCodec.h"
#include "runtime/ChangeMarkers.h"

#include <QDir>
#include <QFile>

using namespace Qt::StringLiterals;

namespace kestrin::test {

LabStation::LabStation(const QString& engine)
    : scratch(engine)
    , log(clock, {}, u"windows-1252"_s)
{
    const QString base = scratch.folder();
    config.ComputerName = u"LABPC"_s;
    config.ImportPath = base + u"/in/"_s;
    config.ImportDonePath = config.ImportPath + u"Done"_s;
    config.ImportErrorPath = config.ImportPath + u"EinleseFehler"_s;
    config.ExportPath = base + u"/out/"_s;
    config.TempExportPath = base + u"/tmp/"_s;
    config.ComLogPath = base + u"/log/"_s;
    config.ImportExtension = u"hl7"_s;
    config.ImportMinAge = 0;
    config.CancelSign = u"CA"_s;
    config.StdSampleMaterial = u"S"_s;
    config.ExportLeader = u"ORU_"_s;
    config.ExportExtension = u".hl7"_s;
    config.HL7ORUSender = u"KESTRIN"_s;
    config.HL7ORUEmpf = u"KIS"_s;
    config.OBR3TEXT = u"DRUGSCREEN"_s;
    // The export folder is the receiving system's: Kestrin expects it to be there.
    QDir().mkpath(config.ExportPath);
    if (!scratch.available())
        return;
    scratch.createSchema();
    m_ctx = std::make_unique<Context>(Context{config, scratch.db(), log, clock});
    log.open(LogFileName(config.ComLogPath, config.StationId, clock.now().date()));
}

void LabStation::seedTests()
{
    const QString insert = u"INSERT INTO TEST_DEF (PARAMETER_ID, SHORT, LONG, UNIT, CUTOFF, IMP_CODE_LDT, PRINT_POS) "
                           u"VALUES (?, ?, ?, ?, ?, ?, ?)"_s;
    db().exec(insert, {1, u"AMP"_s, u"Amphetamines"_s, u"ng/mL"_s, u"500"_s, u"AMP"_s, 2});
    db().exec(insert, {4, u"COC"_s, u"Cocaine metabolite"_s, u"ng/mL"_s, u"150"_s, u"COC"_s, 3});
    db().exec(insert, {8, u"THC"_s, u"Cannabinoids"_s, u"ng/mL"_s, u"50"_s, u"THC"_s, 1});
}

void LabStation::dropOrder(const QString& name, const QByteArray& content)
{
    const QString path = config.ImportPath + name;
    WriteFile(path, content);
    QFile file(path);
    if (file.open(QIODevice::ReadWrite))
        file.setFileTime(QDateTime::currentDateTime().addSecs(-60), QFileDevice::FileModificationTime);
}

QStringList LabStation::importFiles() const { return FileNames(config.ImportPath); }
QStringList LabStation::doneFiles() const { return FileNames(config.ImportDonePath); }
QStringList LabStation::errorFiles() const { return FileNames(config.ImportErrorPath); }

QStringList LabStation::logLines() const
{
    const QString text = TextCodec(u"windows-1252"_s).decode(ReadFile(log.fileName()));
    QStringList lines = text.split(u"\r\n"_s);
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    return lines;
}

QStringList LabStation::column(const QString& sql, const QVariantList& values)
{
    QStringList texts;
    for (const Row& row : db().query(sql, values))
        texts << row.at(0).toString();
    return texts;
}

} // namespace kestrin::test
