#pragma once

#include "labdb/Database.h"

#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>

#include <memory>

namespace kestrin::test {

// A service's folder on an embedded database, for tests that run the real kestrin program:
// INI file (with `extraIni` lines after the usual keys), database made by /initdb, import,
// export and log folders.
struct ServiceFolder {
    explicit ServiceFolder(const QString& extraIni = {});
    ~ServiceFolder();
    ServiceFolder(const ServiceFolder&) = delete;
    ServiceFolder& operator=(const ServiceFolder&) = delete;

    QString path(const QString& name) const { return dir.filePath(name); }
    QString ini() const { return path(QStringLiteral("lab.ini")); }
    QString database() const { return path(QStringLiteral("lab.sqlite")); }

    // Runs kestrin with the INI file to its end: its exit status, -1 when it crashed.
    int run(const QStringList& arguments, QByteArray* output = nullptr);
    void startService();
    // How long the service took to end after the signal, in ms; -1 when it did not end.
    qint64 stop(int signal);

    std::unique_ptr<Database> connect() const;
    // The database with its journal files, moved as a cleanup script or a restore moves them.
    void moveDatabase(const QString& from, const QString& to);

    void dropOrder(const QString& sample);
    bool filed(const QString& sample) const;
    // How often the file at the database's path holds the order.
    int stored(const QString& sample) const;
    // The communication log's lines so far.
    QStringList log() const;

    QTemporaryDir dir;
    QProcess service;
};

} // namespace kestrin::test
