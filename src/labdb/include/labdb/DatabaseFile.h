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

// The name an embedded database file is opened by: one that opens only a file that is there,
// unless `create`; the connection needs the option QSQLITE_OPEN_URI for it.
QString EmbeddedDatabaseUri(const QString& path, bool create);

} // namespace kestrin
