#pragma once

#include <QString>

#include <optional>

namespace kestrin {

// Which file a path names: a file deleted and made anew under the same name is another one.
struct FileIdentity {
    quint64 device = 0;
    quint64 node = 0;
    bool operator==(const FileIdentity&) const = default;
};

// The identity of the file at a path, nothing when there is none.
std::optional<FileIdentity> IdentityOf(const QString& path);

// The file of an embedded database as its connection opened it. A connection keeps reading
// its file after the file was deleted or replaced by another of the same name, so only the
// path tells that the laboratory's database is elsewhere now.
class DatabaseFileWatch {
public:
    enum class State { Same, Missing, Replaced };

    // An empty path (a database server) is never missing nor replaced.
    explicit DatabaseFileWatch(QString path = {})
        : m_path(std::move(path))
    {
    }

    QString path() const { return m_path; }
    // Takes the file now at the path as the one the connection reads.
    void remember();
    State check() const;

private:
    QString m_path;
    std::optional<FileIdentity> m_file;
};

} // namespace kestrin
