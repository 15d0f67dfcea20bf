#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <optional>

namespace kestrin {

// A folder opened once, whose entries are then made, read, renamed and removed by name inside
// it: for folders that others may write (a share, the export folder). A link planted there is
// never followed, neither in the folder's own place nor at a name inside it, and no file is
// written that this process has not just created itself. Names are plain file names, no paths.
class FolderHandle {
public:
    explicit FolderHandle(const QString& path);
    ~FolderHandle();
    FolderHandle(const FolderHandle&) = delete;
    FolderHandle& operator=(const FolderHandle&) = delete;

    bool isOpen() const;
    // Why the folder could not be opened.
    const QString& error() const { return m_error; }

    // Creates a file of that name that must not exist yet (not even as a link), writes `bytes`
    // as its whole content, with `sync` forces it onto the disk, and checks the size it then
    // has. Returns what failed, empty when nothing did; a file not written whole is removed.
    QString createFile(const QString& name, const QByteArray& bytes, bool sync) const;

    enum class Entry { None, File, Folder, Other }; // Other: a link, a pipe, a device
    // What the name holds, a link itself and not what it points to. `error` says why on None
    // when the name cannot be looked up at all (too long, not allowed there).
    Entry entry(const QString& name, QString* error = nullptr) const;
    // Up to `limit` bytes from the start of the regular file of that name that has no other
    // link; nothing for a link, a pipe, a device, a folder or a file that cannot be read.
    std::optional<QByteArray> readHead(const QString& name, qint64 limit) const;

    enum class Rename { Done, OtherFileSystem, Failed };
    // Renames an entry to `newName` in `target` (this folder or another), replacing in one step
    // whatever holds that name: a link itself, never what it points to.
    Rename rename(const QString& name, const FolderHandle& target, const QString& newName,
                  QString* error = nullptr) const;
    bool remove(const QString& name) const;

    // Forces the data of files in this folder onto the disk (on Linux one flush of the
    // folder's file system for all).
    bool syncFiles(const QStringList& names) const;
    // Forces the folder's entries (a file renamed into it) onto the disk.
    bool sync() const;

private:
    QString m_path; // with a separator at the end
    QString m_error;
#ifndef Q_OS_WIN
    int m_fd = -1;
#endif
};

} // namespace kestrin
