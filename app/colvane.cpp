#include "app/colvane.h"

#include "app/resultreader.h"
#include "app/resulttableactions.h"

#include <QAbstractItemModel>
#include <QHeaderView>
#include <QIcon>
#include <QKeySequence>
#include <QLatin1Char>
#include <QMessageBox>
#include <QShortcut>
#include <QSize>
#include <QStandardItem>
#include <QStandardItemModel>
#include <QStringList>
#include <QVariant>

// The images live in the static library; naming them here links them into every program
// that shows the window.
static void RegisterImages()
{
    Q_INIT_RESOURCE(colvane);
}

Colvane::Colvane(QWidget* parent) : QMainWindow(parent), catchThread(nullptr)
{
    RegisterImages();
    ui.setupUi(this);

    ui.pushButton->setIcon(QIcon::fromTheme(QStringLiteral("start"),
                                            QIcon(QStringLiteral(":/Colvane/images/btn.png"))));
    ui.pushButton->setIconSize(QSize(24, 24));

    QStandardItemModel* model = new QStandardItemModel();
    model->setHorizontalHeaderLabels(tr("id,信息").simplified().split(QLatin1Char(',')));

    ui.tableView->setShowGrid(true);
    ui.tableView->setGridStyle(Qt::DotLine);
    ui.tableView->setModel(model);
    ui.tableView->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    ui.tableView->show();
    new ResultTableActions(ui.tableView, this, QStringLiteral("Lunvo快递单号批量查询1.0"));

    // Starts the lookup from the keyboard through the button, so both behave the same.
    for (const QKeySequence& keys : {QKeySequence(Qt::CTRL | Qt::Key_Return),
                                     QKeySequence(Qt::CTRL | Qt::Key_Enter)}) {
        QShortcut* start = new QShortcut(keys, ui.textEdit);
        start->setContext(Qt::WidgetShortcut);
        connect(start, &QShortcut::activated, ui.pushButton, &QPushButton::click);
    }

    connect(ui.pushButton, SIGNAL(clicked()), this, SLOT(OnPushBClick()));
    catchThread.Launch();
    connect(&catchThread, SIGNAL(notifyResult(QString)), this, SLOT(HandleCatchResult(QString)));
}

Colvane::~Colvane()
{
    catchThread.SetCommand(kCatchQuit);
    catchThread.quit();
    catchThread.wait();

    // The model has no parent; without this it would outlive the window.
    QAbstractItemModel* model = ui.tableView->model();
    ui.tableView->setModel(nullptr);
    delete model;
}

void Colvane::HandleCatchResult(QString str)
{
    QString number;
    ResultEvents events;
    if (!ReadResultEvents(str, number, events))
        return;

    QStandardItemModel* model = static_cast<QStandardItemModel*>(ui.tableView->model());
    const int row = model->rowCount();
    model->setItem(row, 0, new QStandardItem(number));
    QStandardItem* contextItem = new QStandardItem(events.first().context);
    contextItem->setEditable(false);
    contextItem->setData(QVariant::fromValue(events), kResultEventsRole);
    model->setItem(row, 1, contextItem);
}

void Colvane::OnPushBClick()
{
    const QString text = ui.textEdit->toPlainText();
    if (text.isEmpty()) {
        QMessageBox::information(nullptr, QStringLiteral("Lunvo快递单号批量查询1.0"),
                                 QStringLiteral("请先输入快递单号"), QMessageBox::Yes,
                                 QMessageBox::NoButton);
        return;
    }

    QAbstractItemModel* model = ui.tableView->model();
    model->removeRows(0, model->rowCount());
    catchThread.StartCatch(text);
}
