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

public slots:
    void HandleCatchResult(QString str);
    void OnPushBClick();

private:
    Ui::ColvaneClass ui;
    CCatchThread catchThread;
};
