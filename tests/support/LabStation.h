#pragma once

#include "FixedClock.h"
#include "ScratchDatabase.h"
#include "runtime/CommLog.h"
#include "runtime/Context.h"

#include <memory>

namespace kestrin::test {

// A station on a scratch database: folders below a temporary folder, a settings record for
// the import and export, a log, a clock standing at 20.01.2019 14:05:03, and the context
// that holds them. The schema is created.
class LabStation {
public:
    explicit LabStation(const QString& engine);

    bool available() const { return scratch.available(); }
    QString unavailableReason() const { return scratch.unavailableReason(); }
    Database& db() { return scratch.db(); }
    Context& ctx() { return *m_ctx; }

    // Tests AMP (1), COC (4), THC (8) with their import codes, units and cut-offs.
    void seedTests();
    // Writes an order file into the import folder, old enough to be taken.
    void dropOrder(const QString& name, const QByteArray& content);
    void dropOrder(const QString& name, const QString& text) { dropOrder(name, text.toLatin1()); }
    QStringList importFiles() const;
    QStringList doneFiles() const;
    QStringList errorFiles() const;
    // The communication log's lines so far.
    QStringList logLines() const;
    // The first column of every row a query returns, as text.
    QStringList column(const QString& sql, const QVariantList& values = {});

    ScratchDatabase scratch;
    AppConfig config;
    FixedClock clock;
    CommLog log;

private:
    std::unique_ptr<Context> m_ctx;
};

} // namespace kestrin::test

// A station with the test definitions, on the engine of the current data row; skips (or
// fails in CI) where that engine is missing.
#define KESTRIN_STATION(name)                                                                                          \
    QFETCH(QString, engine);                                                                                           \
    kestrin::test::LabStation name(engine);                                                                            \
    KESTRIN_REQUIRE(name.scratch);                                                                                     \
    name.seedTests()
