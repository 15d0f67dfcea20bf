#pragma once

#include <QObject>

#include <optional>

namespace kestrin {

// The three control levels, in the order of their lists and buttons.
enum class ControlLevel { Low, Med, High };

// "LOW", "MED", "HIGH".
QString ControlLevelName(ControlLevel level);

// What the analyser's next measurement belongs to: a sample, a control, or nothing (the next
// measurement is ignored). An analyser link reads it and follows `changed`.
class StationSelection : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    // The sample or control ID of the next measurement; empty when it is to be ignored.
    QString SelectedId() const { return m_id; }
    // True when SelectedId names a control, chosen with LOW, MED or HIGH.
    bool SelectedIsControl() const { return m_level.has_value(); }
    // The level of the control chosen, nothing for a sample or no selection.
    std::optional<ControlLevel> level() const { return m_level; }

    void selectSample(const QString& sampleId);
    // An empty control ID is a selection too: the operator chose a level with an empty list.
    void selectControl(ControlLevel level, const QString& controlId);
    void clear();

    // The selection in words, for the communication log.
    QString describe() const;

signals:
    void changed();

private:
    void set(const QString& id, std::optional<ControlLevel> level);

    QString m_id;
    std::optional<ControlLevel> m_level;
};

} // namespace kestrin
