#include "KnownDifferences.h"
#include "TestMain.h"

#include <QDirIterator>
#include <QRegularExpression>

using namespace Qt::StringLiterals;

namespace kestrin {

namespace {

const QStringList kColumns{u"Key"_s, u"Older versions"_s, u"Kestrin"_s, u"Why"_s, u"What a peer sees"_s};

// The cells of a table line; "\|" is a bar inside a cell.
QStringList cells(const QString& line)
{
    QStringList result;
    QString cell;
    for (qsizetype i = 1; i < line.size(); ++i) {
        if (line.at(i) == u'\\' && i + 1 < line.size() && line.at(i + 1) == u'|') {
            cell += u"\\|"_s;
            ++i;
        } else if (line.at(i) == u'|') {
            result << cell.trimmed();
            cell.clear();
        } else {
            cell += line.at(i);
        }
    }
    if (!cell.trimmed().isEmpty())
        result << cell.trimmed(); // no closing bar
    return result;
}

QStringList tableLines()
{
    QFile file(test::SourceDir() + u"/docs/compatibility.md"_s);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QStringList lines;
    for (const QString& line : QString::fromUtf8(file.readAll()).split(u'\n'))
        if (line.startsWith(u'|'))
            lines << line;
    return lines;
}

QString sourceOfTest(const QString& program)
{
    QDirIterator files(test::SourceDir() + u"/tests"_s, {u"tst_"_s + program.mid(5) + u".cpp"_s}, QDir::Files,
                       QDirIterator::Subdirectories);
    if (!files.hasNext())
        return {};
    QFile file(files.next());
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

} // namespace

class TestCompatibility : public QObject {
    Q_OBJECT

private slots:
    void everyRowIsWhole();
    void keysAreThoseTheTestsKnow();
    void namedTestsExist_data();
    void namedTestsExist();
};

void TestCompatibility::everyRowIsWhole()
{
    const QStringList lines = tableLines();
    QVERIFY2(lines.size() > 2, "docs/compatibility.md holds no table");
    QCOMPARE(cells(lines.at(0)), kColumns);
    const QRegularExpression key(u"^`[a-z0-9]+(-[a-z0-9]+)*`$"_s);
    for (const QString& line : lines.mid(2)) {
        const QStringList row = cells(line);
        QVERIFY2(row.size() == kColumns.size(), qPrintable(u"%1 cells: "_s.arg(row.size()) + line));
        QVERIFY2(!row.contains(QString()), qPrintable(u"an empty cell: "_s + line));
        QVERIFY2(key.match(row.at(0)).hasMatch(), qPrintable(u"no key of the form `a-b`: "_s + line));
    }
}

void TestCompatibility::keysAreThoseTheTestsKnow()
{
    QStringList documented;
    for (const QString& line : tableLines().mid(2))
        documented << cells(line).value(0).remove(u'`');
    QStringList known;
    for (const test::KnownDifference& difference : test::kKnownDifferences)
        known << QString::fromLatin1(difference.key);
    for (const QStringList* list : {&documented, &known}) {
        QStringList unique = *list;
        unique.removeDuplicates();
        QCOMPARE(unique.size(), list->size());
    }
    for (const QString& key : std::as_const(known))
        QVERIFY2(documented.contains(key), qPrintable(key + u" has no row in docs/compatibility.md"_s));
    for (const QString& key : std::as_const(documented))
        QVERIFY2(known.contains(key), qPrintable(key + u" is missing from tests/support/KnownDifferences.h"_s));
}

void TestCompatibility::namedTestsExist_data()
{
    QTest::addColumn<QString>("program");
    QTest::addColumn<QString>("function");
    for (const test::KnownDifference& difference : test::kKnownDifferences) {
        for (const QString& shown : QString::fromLatin1(difference.shownBy).split(u' ', Qt::SkipEmptyParts)) {
            if (shown == u"none")
                continue;
            QTest::addRow("%s %s", difference.key.data(), qPrintable(shown))
                << shown.section(u"::"_s, 0, 0) << shown.section(u"::"_s, 1);
        }
    }
}

void TestCompatibility::namedTestsExist()
{
    QFETCH(QString, program);
    QFETCH(QString, function);
    const QString source = sourceOfTest(program);
    QVERIFY2(!source.isEmpty(), qPrintable(u"no source of "_s + program));
    QVERIFY2(source.contains(u"::"_s + function + u"()"_s), qPrintable(program + u" has no "_s + function));
}

} // namespace kestrin

KESTRIN_TEST_MAIN(kestrin::TestCompatibility)
#include "tst_compatibility.moc"
