#pragma once

#include <QPlainTextEdit>

namespace kestrin {

// Text1: the traffic display, newest line on top, keeping the newest lines only so that a
// service that runs for months does not grow without end.
class TrafficView : public QPlainTextEdit {
    Q_OBJECT
public:
    static constexpr int kDefaultMaxLines = 5000;

    explicit TrafficView(QWidget* parent = nullptr, int maxLines = kDefaultMaxLines);

    void addLine(const QString& line);
    int lineCount() const { return m_lines; }
    QString lineAt(int index) const;

private:
    int m_maxLines;
    int m_lines = 0;
};

} // namespace kestrin
