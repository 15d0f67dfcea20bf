#pragma once

#include "idstation/SampleTileModel.h"
#include "idstation/StationQueries.h"
#include "idstation/StationSelection.h"
#include "labdb/DatabaseFile.h"
#include "runtime/Context.h"
#include "runtime/WorkEdge.h"

#include <QObject>
#include <QTimer>

namespace kestrin {

// The sample-ID station of one analyser (the StationId): the control lists, the tiles of
// the samples with requests for the analyser, refreshed every second, and the operator's
// choice for the next measurement. Every change of that choice is logged, so that a wrong
// assignment can be traced afterwards.
//
// A list that cannot be read leaves the tiles as they are; the status text says why, the
// log says it once per outage, and the next tick tries again. An embedded database whose file
// was deleted is such an outage; one made anew under the same name is connected to afresh and
// its lists are read from scratch.
class SampleIdStation : public QObject {
    Q_OBJECT
public:
    static constexpr int RefreshMilliseconds = 1000;
    // Scanned, it clears the selection instead of naming a sample.
    static constexpr QStringView IgnoreCode = u"000000";

    explicit SampleIdStation(Context& ctx, QObject* parent = nullptr);

    // The control lists, then the first refresh; from then on one refresh every second.
    void open();
    void stop();

    const ControlLists& controlLists() const { return m_controls; }
    SampleTileModel& tiles() { return m_tiles; }
    StationSelection& selection() { return m_selection; }
    QTimer& timer() { return m_timer; }

    // Adds the samples that have no tile yet; false when the list could not be read.
    bool refresh();
    // The list read from scratch; a list that cannot be read keeps the tiles shown.
    bool rebuild();

    void selectTile(int tile);
    void selectControl(ControlLevel level, const QString& controlId);
    // The next measurement is ignored.
    void ignore();
    // A scanned or typed ID: IgnoreCode clears the selection, a tile's exact sample ID
    // selects that tile (returned), anything else leaves the selection as it is (-1).
    int scan(const QString& text);

    bool listIsCurrent() const { return m_edge.last().ran(); }
    // Why the list is not current, for the window's status line; empty when it is.
    QString statusText() const;

signals:
    void controlListsRead();
    void statusChanged(const QString& text);
    // A passing message for the operator (a scanned ID that no tile shows).
    void notice(const QString& text);

private:
    bool readList(bool fromScratch);
    void showSelection();
    void log(const QString& text);

    Context& m_ctx;
    // The embedded database's file the lists were read from: a file made anew holds others.
    std::optional<FileIdentity> m_listsFile;
    ControlLists m_controls;
    bool m_controlsRead = false;
    SampleTileModel m_tiles;
    StationSelection m_selection;
    QTimer m_timer;
    WorkEdge m_edge;
    WorkLines m_lines;
};

} // namespace kestrin
