#include "TestMain.h"
#include "core/Translations.h"

#include <QFile>
#include <QRegularExpression>
#include <QTranslator>
#include <QXmlStreamReader>

using namespace Qt::StringLiterals;
using namespace kestrin;

namespace {

struct Message {
    QString context;
    QString source;
    QString translation;
    bool finished = false;
};

// Every message of a .ts file, as lupdate writes them.
QList<Message> ReadTsFile(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        qFatal("cannot read %s", qPrintable(path));
    QXmlStreamReader xml(&file);
    QList<Message> messages;
    QString context;
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement)
            continue;
        if (xml.name() == u"name") {
            context = xml.readElementText();
        } else if (xml.name() == u"message") {
            messages.append({context, {}, {}, true});
        } else if (xml.name() == u"source") {
            messages.last().source = xml.readElementText();
        } else if (xml.name() == u"translation") {
            messages.last().finished = xml.attributes().value(u"type"_s).isEmpty();
            messages.last().translation = xml.readElementText();
        }
    }
    if (xml.hasError())
        qFatal("%s: %s", qPrintable(path), qPrintable(xml.errorString()));
    return messages;
}

QStringList Placeholders(const QString& text)
{
    QStringList found;
    for (const QRegularExpressionMatch& m : QRegularExpression(u"%\\d"_s).globalMatch(text))
        found << m.captured();
    found.sort();
    return found;
}

} // namespace

class TestTranslations : public QObject {
    Q_OBJECT
private slots:
    void textLanguage_data();
    void textLanguage();
    void germanIsCompleteAndBuiltIn();
};

void TestTranslations::textLanguage_data()
{
    QTest::addColumn<QString>("language");
    QTest::addColumn<QLocale::Language>("expected");
    QTest::newRow("german, the demo's column") << u"german"_s << QLocale::German;
    QTest::newRow("German in capitals") << u"GERMAN"_s << QLocale::German;
    QTest::newRow("deutsch") << u"deutsch"_s << QLocale::German;
    QTest::newRow("de") << u"de"_s << QLocale::German;
    QTest::newRow("de with a region") << u"de_at"_s << QLocale::German;
    QTest::newRow("english") << u"english"_s << QLocale::English;
    QTest::newRow("no language key") << QString() << QLocale::English;
    QTest::newRow("another language") << u"french"_s << QLocale::English;
    QTest::newRow("begins like de") << u"dea"_s << QLocale::English;
    QTest::newRow("arab, a column Kestrin has no texts for") << u"arab"_s << QLocale::English;
}

void TestTranslations::textLanguage()
{
    QFETCH(QString, language);
    QFETCH(QLocale::Language, expected);
    QCOMPARE(TextLanguage(language), expected);
}

// Every text has its German, with the same placeholders, and the program carries the
// translation of the .ts file as it stands.
void TestTranslations::germanIsCompleteAndBuiltIn()
{
    const QList<Message> messages = ReadTsFile(test::SourceDir() + u"/translations/kestrin_de.ts"_s);
    QVERIFY(messages.size() > 20);
    QTranslator builtIn;
    QVERIFY(builtIn.load(u":/i18n/kestrin_de.qm"_s));
    for (const Message& m : messages) {
        const QByteArray where = (m.context + u": "_s + m.source).toUtf8();
        QVERIFY2(m.finished && !m.translation.trimmed().isEmpty(), where.constData());
        QVERIFY2(m.translation != m.source, where.constData());
        QCOMPARE(Placeholders(m.translation), Placeholders(m.source));
        QCOMPARE(builtIn.translate(m.context.toUtf8().constData(), m.source.toUtf8().constData()), m.translation);
    }
}

KESTRIN_TEST_MAIN(TestTranslations)
#include "tst_translations.moc"
