#pragma once

#include <QByteArray>
#include <QDir>
#include <QString>
#include <QStringList>

namespace kestrin::test {

// Time zone Europe/Berlin (it has summer time, which finds local/UTC mix-ups), the C
// locale, and the offscreen window platform. Call before the application object exists.
void PinEnvironment();

// Writes a file, creating its folder; fails the test's assumptions loudly when it cannot.
void WriteFile(const QString& path, const QByteArray& content);
QByteArray ReadFile(const QString& path);

// Two rows, "symbolic link" and "second name", of the column "symbolic": the links another
// user of a folder could put where Kestrin will make a file.
void AddLinkRows();
// Puts such a link to `target` at `path`; false where it cannot (Windows).
bool LinkInPlaceOf(const QString& target, const QString& path, bool symbolic);

// The names of the files in a folder, sorted; empty when the folder is missing.
QStringList FileNames(const QString& folder);

// The built kestrin program and the source tree, as CTest hands them to the tests.
QString KestrinProgram();
QString SourceDir();

// The real-world HL7 messages beside the project (../shared/corpus/hl7), by name; empty where
// they are missing. KESTRIN_CORPUS skips a test then, or fails it where KESTRIN_REQUIRE_CORPUS
// is 1 (in CI the corpus is always there: a skip would hide that nothing was tried).
QDir CorpusDir();
QStringList CorpusFiles();
#define KESTRIN_CORPUS(files)                                                                                          \
    const QStringList files = kestrin::test::CorpusFiles();                                                            \
    do {                                                                                                               \
        if (files.isEmpty()) {                                                                                         \
            const char* reason = "The HL7 corpus (../shared/corpus/hl7) is not beside the project: skipped";           \
            if (qEnvironmentVariable("KESTRIN_REQUIRE_CORPUS") == u"1")                                                \
                QFAIL(reason);                                                                                         \
            QSKIP(reason);                                                                                             \
        }                                                                                                              \
    } while (false)

} // namespace kestrin::test
