#pragma once

#include "ui_colvane.h"
#include "worker/catchthread.h"

#include <QMainWindow>
#include <QString>

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
    void OnNumberDone(int line, bool resultEmitted);
    void OnBatchFinished();
    void OnTextEdited();
    void ShowBusy();
    void MarkLine(int line);

    Ui::ColvaneClass ui;
    CCatchThread catchThread;

    // The batch handed to the worker, from the click until the worker says it is over.
    bool busy = false;
    int numbersDone = 0;
    int numbersInBatch = 0;
    bool textEditedDuringBatch = false;
    bool lastResultMadeRow = false; // of the latest result text, read by the next numberDone
};
