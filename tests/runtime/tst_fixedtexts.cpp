#include "TestMain.h"
#include "app/FixedTexts.h"
#include "entrystation/FixedTexts.h"
#include "hl7export/FixedTexts.h"
#include "hl7import/FixedTexts.h"
#include "idstation/FixedTexts.h"
#include "mainwindow/FixedTexts.h"
#include "monitors/FixedTexts.h"
#include "runtime/FixedTexts.h"
#include "service/FixedTexts.h"
#include "stations/FixedTexts.h"

using namespace Qt::StringLiterals;
using namespace kestrin;

// Every text the laboratory's peers, scripts and operators rely on, as each module's table of
// fixed texts gives it, against the text written out letter by letter: a changed blank fails.
class TestFixedTexts : public QObject {
    Q_OBJECT
private slots:
    void letterForLetter_data();
    void letterForLetter();
};

void TestFixedTexts::letterForLetter_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("expected");
    const auto row = [](const char* name, QStringView text, const QString& expected) {
        QTest::newRow(name) << text.toString() << expected;
    };
    const QString id = u"S1"_s;

    using namespace importtexts;
    row("read", MessageReadLine(u"M1"_s, id), u"Nachricht eingelesen: M1 Auftrag/Probe: S1"_s);
    row("cancellation", CancellationLine(u"M1"_s, id), u"Storno Nachricht: M1 Auftrag/Probe: S1"_s);
    row("unknown segment", UnknownSegmentLine(u"ZZZ"_s), u"Unbekannte Kennung: ZZZ"_s);
    row("read failed", ReadFailedLine(u"M1"_s, id), u"Fehler beim lesen der Nachricht : M1 Auftrag/Probe: S1"_s);
    row("error description", ErrorDescriptionLine(u"E"_s), u"Fehlerbeschreibung: E"_s);
    row("patient updated", PatientUpdatedLine(u"P1"_s),
        u"Patient mit ID: P1schon vorhanden. Daten wurden upgedated."_s);
    row("sample updated", SampleUpdatedLine(id), u"Probe mit ID: S1schon vorhanden. Daten wurden upgedated."_s);
    row("no import code", NoImportCodeLine(id, 12, u"X^Y"_s),
        u"Kein Importcode f\u00fcr Probe: S1/OBR Zeile: 12OBR.4: X^Y"_s);
    row("requests", RequestsLine(id, u"A, B, "_s), u"Anforderungen f\u00fcr Probe S1: A, B, "_s);

    using namespace exporttexts;
    row("export start", ExportStartLine(id), u"Start Export f\u00fcr Probe: S1"_s);
    row("export done", ExportDoneLine(id, u"out/a.hl7"_s),
        u"Export abgeschlossen f\u00fcr Probe: S1/Datei: out/a.hl7"_s);
    row("export failed", ExportFailedLine(id, u"E"_s),
        u"Export fehlgeschlagen f\u00fcr Probe: S1 Fehlerbeschreibung: E"_s);

    using namespace runtimetexts;
    row("log change marker", kLogChangeMarker, u"HL7_log_change"_s);
    row("day change marker", kDayChangeMarker, u"d_change"_s);
    row("shift change marker", kShiftChangeMarker, u"s_change"_s);
    row("started", ModuleStartedLine(u"T"_s), u"Kestrin Module Started : T"_s);
    row("config", kConfigLine, u"Config:"_s);
    row("import path", ImportPathLine(u"in/"_s), u"Importpfad: in/"_s);
    row("export path", ExportPathLine(u"out/"_s), u"Exportpfad: out/"_s);
    row("tag A->H", kAnalyzerToHostTag, u"  A->H"_s);
    row("tag H->A", kHostToAnalyzerTag, u"  H->A"_s);
    row("tag monitor", kMonitorTag, u"Monitor: "_s);
    row("tag K->L", kOrderInTag, u" K->L "_s);
    row("tag K->L shown", kOrderInDisplayTag, u"     K->L "_s);
    row("tag L->K", kResultOutTag, u" L->K "_s);
    row("tag input", kEntryStationTag, u" INPUT: "_s);
    row("tag input shown", kEntryStationDisplayTag, u"     L->H"_s);

    using namespace servicetexts;
    row("loading title", LoadingTitle(u"HL7"_s), u"HL7 - Communication loading ... "_s);
    row("initializing", kInitializingStep, u"Initializing ... "_s);
    row("connecting", kConnectingStep, u"Connecting 2 DB ... "_s);
    row("opening log", kOpeningLogStep, u"opening Logfile ... "_s);

    using namespace apptexts;
    row("loading ini", kLoadingIniStep, u"Loading ini ... "_s);
    using namespace stationstexts;
    row("main caption", MainWindowCaption(u"HL7"_s, u"in/"_s), u"HL7 at in/"_s);

    using namespace entrytexts;
    row("session marker", kSessionStartMarker, u"SessionStart"_s);
    row("parameter missing", kParameterNotConfigured, u"Parameter not configured!"_s);
    row("autovalidation", kAutovalidationLine, u"Results will be autovalidated and go direct to results."_s);
    row("parameter", ParameterLine(u" 12"_s, u"THC"_s), u"Parameter:  12 / THC"_s);
    row("control value", RecordLine(kControlValueLead, u"C1"_s, u"12"_s, u"5"_s, u"ST_U"_s),
        u"Enter Control Value: Control ID: C1 Parameter ID: 12 Result: 5 Analyser/User: ST_U"_s);
    row("raw result", RecordLine(kRawResultLead, id, u"12"_s, u"5"_s, u"ST_U"_s),
        u"Enter to RAW_Results: SAMPLE ID: S1 Parameter ID: 12 Result: 5 Analyser/User: ST_U"_s);
    row("work table", RecordLine(SessionTableLead(u"INPUT_ST"_s), id, u"12"_s, u"5"_s, u"ST_U"_s),
        u"Enter to INPUT_ST: SAMPLE ID: S1 Parameter ID: 12 Result: 5 Analyser/User: ST_U"_s);
    row("validated", ValidatedResultLine(id, u"12"_s, u"5"_s, u"neg"_s, u"ST"_s, u"U"_s),
        u"Enter to Results: SAMPLE ID: S1 Parameter ID: 12 Result: 5 Interpretation: neg Analyser: ST User: U"_s);
    row("deleted", ResultDeletedLine(id), u"Result deleted for sample ID: S1"_s);
    row("cleared", SessionClearedLine(u"12"_s),
        u"Session cleared: All Results  for Parameter : 12 since start of session  deleted!"_s);
    row("entry design caption", kEntryDesignCaption, u"@Quorix Input - Device - Parameter - User"_s);
    row("entry caption", EntryCaption(u"ST"_s), u"Quorix Input - ST"_s);
    row("delete marker", kDeleteMarker, u"X"_s);
    row("missing caption", kMissingCaption, u"@N/A"_s);
    row("name pictures", kNamePicturesCaption, u"Scan Sample BC"_s);

    using namespace idstationtexts;
    row("act caption", kStationCaption, u"ACT Analyser Kommunikation"_s);
    row("controls", kControlsFrame, u"Kontrollen"_s);
    row("samples", kSamplesFrame, u"Proben"_s);
    row("sample number", kSampleNumberLabel, u"Proben-Nummer:"_s);
    row("ignore next", kIgnoreNextButton, u"N\u00e4chste Messung ignorieren"_s);
    row("rebuild", kRebuildButton, u"Aktualisieren"_s);
    row("low", kLevelLow, u"LOW"_s);
    row("med", kLevelMed, u"MED"_s);
    row("high", kLevelHigh, u"HIGH"_s);

    using namespace monitortexts;
    row("monitor caption", kMonitorCaption, u"Req Monitor"_s);
    row("request", kRequestHeading, u"Request"_s);
    row("req2send", kReq2sendHeading, u"Req2send"_s);
    row("reload", kReloadButton, u"RELOAD"_s);

    using namespace mainwindowtexts;
    row("close view", kCloseViewButton, u"Close View"_s);
    row("stop", kStopButton, u"Stop Communication"_s);
    row("request monitor", kRequestMonitorButton, u"Request Monitor"_s);
    row("kis", kOrderingLabel, u"KIS"_s);
    row("laboratory", kLaboratoryLabel, u"Quorix"_s);
    row("tray menu", kTrayMenu, u"&SysTray"_s);
    row("restore", kRestoreItem, u"&View Communication"_s);
    row("exit", kExitItem, u"&Exit"_s);
}

void TestFixedTexts::letterForLetter()
{
    QFETCH(QString, text);
    QFETCH(QString, expected);
    QCOMPARE(text, expected);
}

KESTRIN_TEST_MAIN(TestFixedTexts)
#include "tst_fixedtexts.moc"
