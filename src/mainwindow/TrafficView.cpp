#include "mainwindow/TrafficView.h"

#include <QTextBlock>
#include <QTextCursor>

using namespace Qt::StringLiterals;

namespace kestrin {

TrafficView::TrafficView(QWidget* parent, int maxLines)
    : QPlainTextEdit(parent)
    , m_maxLines(maxLines)
{
    setObjectName(u"Text1"_s);
    setReadOnly(true);
    setLineWrapMode(QPlainTextEdit::NoWrap);
    setUndoRedoEnabled(false);
    QFont mono(u"Monospace"_s);
    mono.setStyleHint(QFont::TypeWriter);
    setFont(mono);
}

void TrafficView::addLine(const QString& line)
{
    QTextCursor cursor(document());
    cursor.movePosition(QTextCursor::Start);
    if (m_lines == 0) {
        cursor.insertText(line);
    } else {
        cursor.insertText(line);
        cursor.insertBlock();
    }
    ++m_lines;
    if (m_lines > m_maxLines) {
        QTextCursor last(document()->lastBlock());
        last.select(QTextCursor::BlockUnderCursor);
        last.removeSelectedText();
        --m_lines;
    }
}

QString TrafficView::lineAt(int index) const { return document()->findBlockByNumber(index).text(); }

} // namespace kestrin
