#include "idstation/SampleIdStation.h"

using namespace Qt::StringLiterals;

namespace kestrin {

SampleIdStation::SampleIdStation(Context& ctx, QObject* parent)
    : QObject(parent)
    , m_ctx(ctx)
    , m_edge(&ctx.db, ctx.outages)
    , m_lines{
          .key = u"sample list"_s,
          .failed =
              [this](const QString& error) {
                  return u"The sample list of analyser \"%1\" cannot be read: %2. Kestrin tries again every second."_s
                      .arg(m_ctx.config.StationId, error);
              },
          .ranAgain = u"The sample list of analyser \"%1\" is current again."_s.arg(ctx.config.StationId),
          .onceWhileItLasts = true}
{
    m_timer.setObjectName(u"Timer1"_s);
    m_timer.setInterval(RefreshMilliseconds);
    connect(&m_timer, &QTimer::timeout, this, &SampleIdStation::refresh);
    connect(&m_selection, &StationSelection::changed, this, [this] {
        showSelection();
        log(u"Selection for the next measurement: "_s + m_selection.describe());
    });
}

void SampleIdStation::open()
{
    m_listsFile = m_ctx.db.openedFile();
    refresh();
    m_timer.start();
}

void SampleIdStation::stop() { m_timer.stop(); }

bool SampleIdStation::refresh() { return readList(false); }

bool SampleIdStation::rebuild() { return readList(true); }

bool SampleIdStation::readList(bool fromScratch)
{
    const QString shown = m_edge.last().reason;
    // The edge opens the connection again on a database file that was replaced.
    m_edge.run(m_lines, [&] {
        if (m_ctx.db.openedFile() != m_listsFile) {
            m_listsFile = m_ctx.db.openedFile();
            m_controlsRead = false;
            fromScratch = true;
        }
        if (!m_controlsRead) {
            m_controls = ReadControlLists(m_ctx.db);
            m_controlsRead = true;
            emit controlListsRead();
        }
        QStringList ids = ReadStationSampleIds(m_ctx.db, m_ctx.config.StationId);
        if (!fromScratch)
            ids.removeIf([this](const QString& id) { return m_tiles.tileOf(id) >= 0; });
        const QList<StationSample> samples = ReadStationSamples(m_ctx.db, ids);
        if (fromScratch)
            m_tiles.clear();
        if (m_tiles.addSamples(samples) > 0 || fromScratch)
            showSelection();
    });
    if (m_edge.last().reason != shown)
        emit statusChanged(statusText());
    return listIsCurrent();
}

QString SampleIdStation::statusText() const
{
    if (listIsCurrent())
        return {};
    return tr("The sample list is not current, new samples are missing. Reason: %1 (tried again every second)")
        .arg(m_edge.last().reason);
}

void SampleIdStation::selectTile(int tile)
{
    if (tile < 0 || tile >= m_tiles.tileCount())
        return;
    m_selection.selectSample(m_tiles.sampleId(tile));
}

void SampleIdStation::selectControl(ControlLevel level, const QString& controlId)
{
    m_selection.selectControl(level, controlId);
}

void SampleIdStation::ignore() { m_selection.clear(); }

int SampleIdStation::scan(const QString& text)
{
    if (text == IgnoreCode) {
        ignore();
        return -1;
    }
    if (text.isEmpty())
        return -1;
    const int tile = m_tiles.tileOf(text);
    if (tile < 0) {
        log(u"Scanned \"%1\": no tile shows this sample; the selection stays: %2"_s.arg(text, m_selection.describe()));
        emit notice(tr("Sample %1 is not in the list; the selection stays.").arg(text));
        return -1;
    }
    selectTile(tile);
    return tile;
}

// Only a selected sample has a red tile; a control or no selection leaves every tile plain.
void SampleIdStation::showSelection()
{
    const QString id = m_selection.SelectedId();
    m_tiles.setHighlightedTile(m_selection.SelectedIsControl() || id.isEmpty() ? -1 : m_tiles.tileOf(id));
}

void SampleIdStation::log(const QString& text) { m_ctx.log.logall(text, LogDirection::Monitor); }

} // namespace kestrin
