#pragma once

#include "core/DurableFiles.h"

#include <QByteArray>
#include <QFile>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

namespace kestrin {

// A folder opened once, whose entries are then looked at, read, made, renamed and removed by
// name relative to it: for folders that others may write (the import folder, a share, the
// export folder). A link put in the place of a name, or of the folder after it was opened, leads
// nowhere, and no file is written that this process has not just created itself. (On Windows by
// path: there a sender cannot make links.)
class FolderHandle {
public:
    // A plain file name, no path: by its bytes, which need not be text, or as text in the file
    // names' encoding.
    struct Name {
        Name(const QByteArray& bytes)
            : bytes(bytes)
        {
        }
        Name(const QString& text)
            : bytes(QFile::encodeName(text))
        {
        }
        QByteArray bytes;
    };

    enum class Kind { File, Folder, Link, Other }; // Other: a device, pipe or socket
    struct Entry {
        Kind kind = Kind::Other;
        qint64 links = 1;
        qint64 modifiedMs = 0; // its content's last change, since the epoch
        qint64 changedMs = 0;  // the last change of its content, names, links or rights
    };

    // The folder as the settings name it (a link in that path is the administrator's).
    static FolderHandle Open(const QString& path);
    // The same, except that the folder itself must be no link: one put in its place is refused.
    static FolderHandle OpenNoLink(const QString& path);
    // A folder below `parent` that Kestrin files into: a real folder, no link, that belongs to
    // this process's user; made when missing and `create` is set.
    static FolderHandle OpenOwn(const FolderHandle& parent, const QString& name, bool create);

    FolderHandle() = default;
    FolderHandle(FolderHandle&& other) noexcept;
    FolderHandle& operator=(FolderHandle&& other) noexcept;
    FolderHandle(const FolderHandle&) = delete;
    FolderHandle& operator=(const FolderHandle&) = delete;
    ~FolderHandle();

    bool isOpen() const { return m_open; }
    QString problem() const { return m_problem; } // why it is not open
    QString filePath(const QString& name) const;

    // Every name in the folder (not "." and ".."), as text (a byte that is no text shown as "_")
    // and by its bytes; returns why the folder could not be read, or empty text.
    QString forEachName(const std::function<void(const QString& name, const QByteArray& bytes)>& visit) const;
    // What a name holds, a link itself and not what it points to; nothing when there is none.
    // `error` says why when the name cannot be looked up at all (too long, not allowed there).
    std::optional<Entry> entry(const Name& name, QString* error = nullptr) const;
    // ReadBoundedFile, following no link in the name's place.
    BoundedRead read(const Name& name, qint64 limit) const;
    // Up to `limit` bytes from the start of the regular file of that name that has no other
    // link; nothing for a link, a pipe, a device, a folder or a file that cannot be read.
    std::optional<QByteArray> readHead(const Name& name, qint64 limit) const;

    // Creates a file of that name that must not exist yet (not even as a link), writes `bytes`
    // as its whole content, with `sync` forces it onto the disk, and checks the size it then
    // has. Returns what failed, empty when nothing did; a file not written whole is removed.
    QString createFile(const Name& name, const QByteArray& bytes, bool sync) const;
    // Makes a file of that name, renames it to `renamed` and removes it, as a claim would be:
    // why that fails, or empty text.
    QString tryClaim(const Name& name, const Name& renamed) const;

    enum class Rename { Done, OtherFileSystem, Failed };
    // Renames an entry to `newName` in `target` (this folder or another), replacing in one step
    // whatever holds that name: a link itself, never what it points to.
    Rename renameReplacing(const Name& name, const FolderHandle& target, const Name& newName,
                           QString* error = nullptr) const;
    // MoveNoReplace from this folder into `target` (this one or another).
    MoveResult moveNoReplace(const Name& name, const FolderHandle& target, const Name& newName,
                             QString* error = nullptr) const;

    bool remove(const Name& name) const;
    // Removes an empty folder below this one.
    bool removeFolder(const Name& name) const;

    // Forces the data of files in this folder onto the disk (on Linux one flush of the
    // folder's file system for all).
    bool syncFiles(const QStringList& names) const;
    // Forces the folder's entries (a file renamed into it) onto the disk.
    bool sync() const;

private:
    QString m_path;
    QString m_problem;
    bool m_open = false;
    int m_fd = -1; // on Windows none
};

} // namespace kestrin
