#pragma once

#include "core/Error.h"
#include "core/FolderHandle.h"
#include "core/TextCodec.h"
#include "hl7export/ResultMessage.h"

#include <functional>

namespace kestrin {

// The result file's name: leader, sample ID, extension. Characters that cannot stand in a
// file name (/ \ : * ? " < > |, control characters, a trailing dot or blank, a name of
// dots or a Windows device name) are replaced in the name only, and such a name gets a
// short suffix derived from the real ID, so that "A/B" and "A:B" never share a file. An ID
// that would make the name longer than a file system takes (255 bytes) is cut short, with
// the same suffix.
QString ResultFileName(const QString& leader, const QString& sampleId, const QString& extension);

// A folder that takes no result file at all (full, read-only, gone): no sample's fault. The
// export stops and every sample stays queued.
class ExportFolderError : public FileError {
public:
    enum class Folder { Temporary, Export };
    ExportFolderError(Folder folder, const QString& reason)
        : FileError(reason)
        , m_folder(folder)
    {
    }
    Folder folder() const { return m_folder; }

private:
    Folder m_folder;
};

// Writes result files and publishes them in the export folder, in steps so that the cost of
// forcing files to disk is paid once for many: write each file, make them durable together,
// stage each in the export folder, log it, publish it. Every file is created anew under a
// name nobody can guess, through handles of the two folders (others may write the export
// folder: no link planted there is followed). A written file that is not published must be
// discarded.
class ResultFiles {
public:
    // Opens the two folders; throws an ExportFolderError when one cannot be opened.
    explicit ResultFiles(Context& ctx);

    struct Written {
        QString sampleId;
        QStringList lines;
        QByteArray bytes;
        QString controlId; // MSH-10 of its message
        QString name;      // the published name
        QString final;     // the published path, as the log names it
        QString temporary; // a work name in the temporary folder
        QString staged;    // a work name in the export folder's work folder
    };

    // Writes the message under a new work name of this process, every step checked. Throws an
    // ExportFolderError: a file the temporary folder does not take whole is no sample's fault.
    Written write(const QString& sampleId, const ResultMessage& message);
    // Forces the written files onto the disk. Throws an ExportFolderError.
    void makeDurable(const QList<Written>& files);
    // Moves a durable file into the export folder's work folder, a folder of Kestrin's own in
    // it that no receiver taking the folder's files looks into (across file systems a copy,
    // forced to disk). Throws an ExportFolderError when the folder
    // takes no file, a FileError when only this sample's name cannot be used (a folder of that
    // name, another sample's file, a name the file system refuses).
    void stage(const Written& written);
    // The log lines of a file about to be published: the start and every line.
    void logSending(const Written& written);
    // Publishes a staged file under its final name, replacing what holds that name (a link
    // too, which is replaced, never written through). Throws a FileError.
    void publish(const Written& written);
    // Forces the export folder's new entries onto the disk. Throws a FileError.
    void makePublishedDurable();
    // The log line of a published file.
    void logSent(const Written& written);
    void discard(const Written& written);

private:
    Context& m_ctx;
    TextCodec m_codec;
    QString m_tag;
    FolderHandle m_temporary;
    FolderHandle m_export;
    FolderHandle m_work; // in the export folder, opened (and made) when a file is staged first
};

// The folder below ExportPath where result files wait, on the export folder's file system, to
// be published by one rename.
inline const QString kExportWorkFolder = QStringLiteral(".kestrin");

// Removes the temporary files (in TempExportPath) and the copies on their way into ExportPath that an earlier Kestrin
// process left behind when it was killed: those of a process of this machine that no longer runs (or of this process,
// which has nothing in flight between samples), and another machine's once they are older than `staleAfterMs`. Returns
// the names removed.
QStringList RemoveStaleResultFiles(const AppConfig& config, qint64 ownPid, const QDateTime& now,
                                   const std::function<bool(qint64)>& isAlive, qint64 staleAfterMs = 10 * 60 * 1000);

} // namespace kestrin
