#include "app/historydialog.h"

#include <QAbstractItemView>
#include <QDialogButtonBox>
#include <QHeaderView>
#include <QStandardItem>
#include <QStandardItemModel>
#include <QStringList>
#include <QTableView>
#include <QVBoxLayout>

HistoryDialog::HistoryDialog(const QString& number, const ResultEvents& events, QWidget* parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("historyDialog"));
    setWindowTitle(number);
    setModal(true);

    QStandardItemModel* model = new QStandardItemModel(0, 2, this);
    model->setHorizontalHeaderLabels({tr("时间"), tr("信息")});
    for (const ResultEvent& event : events) {
        QStandardItem* time = new QStandardItem(event.time);
        QStandardItem* context = new QStandardItem(event.context);
        time->setEditable(false);
        context->setEditable(false);
        model->appendRow({time, context});
    }

    QTableView* table = new QTableView(this);
    table->setObjectName(QStringLiteral("historyTable"));
    table->setAccessibleName(tr("物流记录"));
    table->setModel(model);
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->setSelectionBehavior(QAbstractItemView::SelectRows);
    table->setWordWrap(true);
    table->setGridStyle(Qt::DotLine);
    table->verticalHeader()->hide();
    table->horizontalHeader()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
    table->horizontalHeader()->setSectionResizeMode(1, QHeaderView::Stretch);
    table->verticalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);

    QDialogButtonBox* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    QVBoxLayout* layout = new QVBoxLayout(this);
    layout->addWidget(table);
    layout->addWidget(buttons);
    resize(760, 380);
}
