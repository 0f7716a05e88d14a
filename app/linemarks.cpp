#include "app/linemarks.h"

#include <QAbstractTextDocumentLayout>
#include <QColor>
#include <QEvent>
#include <QHelpEvent>
#include <QList>
#include <QRect>
#include <QScrollBar>
#include <QStringList>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextEdit>
#include <QToolTip>
#include <QtMath>

namespace {
// The background of a marked line.
const QColor kMarkBackground(255, 215, 215);
} // namespace

LineMarks::LineMarks(QTextEdit* box) : QObject(box), box(box)
{
    box->viewport()->installEventFilter(this);
}

void LineMarks::Show(const QMap<int, QString>& lineNotes)
{
    if (lineNotes.isEmpty() && notes.isEmpty())
        return;
    notes = lineNotes;
    QList<QTextEdit::ExtraSelection> marks;
    QStringList described;
    for (auto note = notes.constBegin(); note != notes.constEnd(); ++note) {
        const QTextBlock block = box->document()->findBlockByNumber(note.key());
        if (!block.isValid())
            continue;
        QTextEdit::ExtraSelection mark;
        mark.cursor = QTextCursor(block); // no selection: the full-width line alone is drawn
        mark.format.setBackground(kMarkBackground);
        mark.format.setProperty(QTextFormat::FullWidthSelection, true);
        marks << mark;
        described << tr("第%1行：%2").arg(note.key() + 1).arg(note.value());
    }
    box->setExtraSelections(marks);
    box->setAccessibleDescription(described.join(QLatin1Char('\n')));
}

bool LineMarks::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() != QEvent::ToolTip || notes.isEmpty())
        return QObject::eventFilter(watched, event);
    const QHelpEvent* help = static_cast<QHelpEvent*>(event);
    const QTextBlock block = box->cursorForPosition(help->pos()).block();
    const auto note = notes.constFind(block.blockNumber());
    // The nearest line is found below the text's end too; the pointer must be on it.
    QRectF line = box->document()->documentLayout()->blockBoundingRect(block);
    line.translate(0, -box->verticalScrollBar()->value());
    const QRect lineArea(0, qFloor(line.top()), box->viewport()->width(), qCeil(line.height()));
    if (note == notes.constEnd() || !lineArea.contains(help->pos()))
        return QObject::eventFilter(watched, event);
    // Given the line's area, the tooltip goes as soon as the pointer leaves the line.
    QToolTip::showText(help->globalPos(), note.value(), box->viewport(), lineArea);
    return true;
}
