#pragma once

#include <QMap>
#include <QObject>
#include <QString>

class QTextEdit;

// Lines of a text box marked in light red, each with a note that says why: shown as a tooltip
// while the pointer rests on the line, and told to screen readers as the box's accessible
// description, one "line n: note" entry per marked line.
class LineMarks : public QObject {
    Q_OBJECT

public:
    explicit LineMarks(QTextEdit* box);

    // Marks exactly these lines (by block number, from 0), each with its note.
    void Show(const QMap<int, QString>& notes);
    void Clear() { Show({}); }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QTextEdit* box;
    QMap<int, QString> notes;
};
