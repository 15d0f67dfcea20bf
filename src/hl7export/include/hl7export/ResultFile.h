#pragma once

#include "core/TextCodec.h"
#include "hl7export/ResultMessage.h"

#include <functional>

namespace kestrin {

// The result file's name: leader, sample ID, extension. Characters that cannot stand in a
// file name (/ \ : * ? " < > |, control characters, a trailing dot or blank, a name of
// dots or a Windows device name) are replaced in the name only, and such a name gets a
// short suffix derived from the real ID, so that "A/B" and "A:B" never share a file.
QString ResultFileName(const QString& leader, const QString& sampleId, const QString& extension);

// Writes the message afresh into the temporary export folder (CR LF after every line, in
// the configured character set, forced to disk) and publishes it in the export folder under
// its final name, replacing an earlier file of the same sample in one step: a receiving
// system never sees half a file. A file of that name that holds another sample's message is
// never replaced. The temporary file is gone afterwards, also when publishing failed. Logs
// the start, every line and the end. Returns the published path; throws a FileError when a
// folder or file cannot be written.
QString WriteResultFile(Context& ctx, const QString& sampleId, const ResultMessage& message);

// The same in steps, so that the cost of forcing files to disk is paid once for many: write
// each file, make them durable together, then publish each. A written file that is not
// published must be discarded.
class ResultFiles {
public:
    explicit ResultFiles(Context& ctx);

    struct Written {
        QString sampleId;
        QString controlId; // MSH-10 of its message
        QString temporary;
        QString final;
    };

    // Writes the message under a temporary name of this process; logs the start and every line.
    Written write(const QString& sampleId, const ResultMessage& message);
    // Forces the written files onto the disk; false when that fails.
    bool makeDurable(const QList<Written>& files);
    // Publishes a durable file under its final name; logs the end. Throws a FileError.
    QString publish(const Written& written);
    void discard(const Written& written);

private:
    Context& m_ctx;
    TextCodec m_codec;
    QString m_tag;
};

// Removes the temporary files (in TempExportPath) and the hidden copies on their way into
// ExportPath that an earlier Kestrin process left behind when it was killed: those of a
// process of this machine that no longer runs (or of this process, which has nothing in
// flight between samples), and another machine's once they are older than `staleAfterMs`.
// Returns the names removed.
QStringList RemoveStaleResultFiles(const AppConfig& config, qint64 ownPid, const QDateTime& now,
                                   const std::function<bool(qint64)>& isAlive, qint64 staleAfterMs = 10 * 60 * 1000);

} // namespace kestrin
