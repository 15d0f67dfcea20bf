#pragma once

#include "LabStation.h"
#include "entrystation/EntrySession.h"

#include <memory>

namespace kestrin::test {

// An entry station on a scratch database for THC (parameter 8): users MB, EB and O'Neil,
// range set 2 for THC (diluted below 20, suspicious; negative to 49.99; positive from 50,
// suspicious), a range of set 1 only for negative values, and the station's captions.
class EntryFixture {
public:
    explicit EntryFixture(const QString& engine, const QString& stationId = QStringLiteral("L1"));

    bool available() const { return lab.available(); }
    Database& db() { return lab.db(); }
    Context& ctx() { return lab.ctx(); }
    AppConfig& config() { return lab.config; }

    // A session of this station (or of another context's), loaded; its work table is
    // created first.
    std::unique_ptr<EntrySession> startSession();
    std::unique_ptr<EntrySession> startSession(Context& ctx);
    // The same database as another station would use it: a context of its own.
    Context& otherStation(const QString& stationId);

    int count(const QString& table);
    // The time of the newest session marker of a station, as stored.
    QDateTime markerTime(const QString& stationId);
    QStringList logLines() const { return lab.logLines(); }

    LabStation lab;

private:
    AppConfig m_otherConfig;
    std::unique_ptr<Context> m_other;
};

// The engines database tests run on, and a data row "<engine> <name>" with the engine column
// (the first) filled, for tables that vary more than the engine.
QStringList EngineNames();
QTestData& EngineRow(const QString& engine, const char* name);

} // namespace kestrin::test

// A fixture on the engine of the current data row; skips (or fails in CI) where it is missing.
#define KESTRIN_ENTRY_FIXTURE(name)                                                                                    \
    QFETCH(QString, engine);                                                                                           \
    kestrin::test::EntryFixture name(engine);                                                                          \
    KESTRIN_REQUIRE(name.lab.scratch)
