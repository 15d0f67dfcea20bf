#pragma once

#include "core/DurableFiles.h"

#include <QByteArray>
#include <QString>

#include <functional>
#include <optional>

namespace kestrin {

// A folder of the import, opened once and then worked in by handle: its names are looked at,
// read and moved relative to it, so that a link put in the place of a name, or of the folder
// after it was opened, leads nowhere. Names are given by their bytes, which need not be text.
// (On Windows by path: there a sender cannot make links.)
class OrderFolder {
public:
    enum class Kind { File, Folder, Link, Other }; // Other: a device, pipe or socket
    struct Entry {
        Kind kind = Kind::Other;
        qint64 links = 1;
        qint64 modifiedMs = 0; // its content's last change, since the epoch
        qint64 changedMs = 0;  // the last change of its content, names, links or rights
    };

    // The import folder as the settings name it (a link in that path is the administrator's).
    static OrderFolder Open(const QString& path);
    // A folder below `parent` that Kestrin files into: a real folder, no link, that belongs to
    // this process's user; made when missing and `create` is set.
    static OrderFolder OpenOwn(const OrderFolder& parent, const QString& name, bool create);

    OrderFolder() = default;
    OrderFolder(OrderFolder&& other) noexcept;
    OrderFolder& operator=(OrderFolder&& other) noexcept;
    OrderFolder(const OrderFolder&) = delete;
    OrderFolder& operator=(const OrderFolder&) = delete;
    ~OrderFolder();

    bool isOpen() const { return m_open; }
    QString problem() const { return m_problem; } // why it is not open
    QString path() const { return m_path; }
    QString filePath(const QString& name) const;

    // Every name in the folder (not "." and ".."), as text and by its bytes; returns why the
    // folder could not be read, or empty text.
    QString forEachName(const std::function<void(const QString& name, const QByteArray& bytes)>& visit) const;
    // What a name is, the name itself if it is a link; nothing when there is none.
    std::optional<Entry> entry(const QByteArray& name) const;
    // MoveNoReplace from this folder into `to` (this one or another).
    MoveResult move(const QByteArray& from, const OrderFolder& to, const QByteArray& toName, QString* error) const;
    // ReadBoundedFile, following no link in the name's place.
    BoundedRead read(const QByteArray& name, qint64 limit) const;
    // Makes a file of that name, renames it to `renamed` and removes it, as a claim would be:
    // why that fails, or empty text.
    QString tryClaim(const QByteArray& name, const QByteArray& renamed) const;
    // Removes an empty folder below this one.
    bool removeFolder(const QString& name) const;

private:
    QString m_path;
    QString m_problem;
    bool m_open = false;
    int m_fd = -1;
};

} // namespace kestrin
