#pragma once

#include "app/pastednumbers.h"
#include "ui_colvane.h"
#include "worker/catchthread.h"

#include <QMainWindow>
#include <QString>
#include <QVector>

class LineMarks;

// The main window: the numbers box, the start button and the result table.
class Colvane : public QMainWindow {
    Q_OBJECT

public:
    explicit Colvane(QWidget* parent = nullptr);
    ~Colvane() override;

    // The title the program gives the window, which the window's message boxes carry too.
    static QString WindowTitle();

public slots:
    void HandleCatchResult(QString str);
    void OnPushBClick();

private:
    void OnBatchStarted(int numbers);
    void OnNumberLookedUp(int index, CCatchThread::LookupOutcome outcome, QString transferError);
    void OnNumberDone(int index, bool resultEmitted);
    void OnBatchFinished();
    void OnTextEdited();
    void ShowBusy();
    void ShowMarks();
    static QString NoRowReason(CCatchThread::LookupOutcome outcome, const QString& transferError);

    Ui::ColvaneClass ui;
    CCatchThread catchThread;
    LineMarks* marks;

    // The batch handed to the worker, from the click until the worker says it is over. The
    // worker is handed the numbers one per line, so its line indexes are number indexes.
    bool busy = false;
    int numbersDone = 0;
    int numbersInBatch = 0;
    bool textEditedDuringBatch = false;
    bool lastResultMadeRow = false; // of the latest result text, read by the next numberDone
    QString lastNoRowReason;        // of the latest numberLookedUp, read by the next numberDone
    PastedNumbers batch;            // its numbers and the lines of the text they stand on
    QVector<QString> noRowReasons;  // by number: why it got no row, empty while it has one
};
