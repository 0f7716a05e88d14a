#pragma once

#include <QObject>
#include <QString>

class QAction;
class QModelIndex;
class QTableView;
class QWidget;

// Role of the result table's event cell that keeps every event of the row's reply.
constexpr int kResultEventsRole = Qt::UserRole + 1;

// What the result table offers beyond showing rows: whole-row selection, copying the selected
// rows, selecting all, exporting to CSV (from the whole window), and the history of a parcel on
// a double-click of its event cell or on Enter. The table's model must be set beforehand.
class ResultTableActions : public QObject {
    Q_OBJECT

public:
    ResultTableActions(QTableView* table, QWidget* window, const QString& messageTitle);

public slots:
    void CopySelectedRows();
    void ExportCsv();
    void ShowHistory(int row);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private slots:
    void UpdateActions();
    void OnDoubleClicked(const QModelIndex& index);

private:
    QTableView* table;
    QWidget* window;
    QString messageTitle;
    QAction* copyAction;
    QAction* selectAllAction;
    QAction* exportAction;
};
