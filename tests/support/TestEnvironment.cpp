#include "TestEnvironment.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QTest>

#include <ctime>
#include <stdexcept>

#ifndef Q_OS_WIN
#include <unistd.h>
#endif

using namespace Qt::StringLiterals;

namespace kestrin::test {

void PinEnvironment()
{
    qputenv("TZ", "Europe/Berlin");
#ifdef Q_OS_WIN
    _tzset();
#else
    tzset();
#endif
    qputenv("LC_ALL", "C.UTF-8");
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QLocale::setDefault(QLocale::c());
}

void AddLinkRows()
{
    QTest::addColumn<bool>("symbolic");
    QTest::newRow("symbolic link") << true;
    QTest::newRow("second name") << false;
}

bool LinkInPlaceOf(const QString& target, const QString& path, bool symbolic)
{
#ifdef Q_OS_WIN
    Q_UNUSED(target);
    Q_UNUSED(path);
    Q_UNUSED(symbolic);
    return false;
#else
    const QByteArray from = QFile::encodeName(target), to = QFile::encodeName(path);
    return (symbolic ? ::symlink(from.constData(), to.constData()) : ::link(from.constData(), to.constData())) == 0;
#endif
}

void WriteFile(const QString& path, const QByteArray& content)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(content) != content.size())
        throw std::runtime_error("cannot write test file " + path.toStdString());
}

QByteArray ReadFile(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

QStringList FileNames(const QString& folder) { return QDir(folder).entryList(QDir::Files | QDir::Hidden, QDir::Name); }

QString KestrinProgram() { return qEnvironmentVariable("KESTRIN_BINARY"); }

QString SourceDir() { return qEnvironmentVariable("KESTRIN_SOURCE_DIR"); }

QDir CorpusDir() { return QDir(SourceDir() + u"/../shared/corpus/hl7"_s); }

QStringList CorpusFiles() { return CorpusDir().entryList({u"*.hl7"_s}, QDir::Files, QDir::Name); }

} // namespace kestrin::test
