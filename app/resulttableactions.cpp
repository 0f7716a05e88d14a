#include "app/resulttableactions.h"

#include "app/historydialog.h"
#include "app/resultreader.h"
#include "app/tableexport.h"

#include <QAbstractItemModel>
#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QFileDialog>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QKeySequence>
#include <QMessageBox>
#include <QStandardPaths>
#include <QTableView>
#include <QVector>

namespace {

// The event cell: a double-click there shows the history, while the number cell edits.
constexpr int kEventColumn = 1;

QAction* NewAction(const QString& name, const QString& text, const QKeySequence& keys,
                   Qt::ShortcutContext context, QObject* parent)
{
    QAction* action = new QAction(text, parent);
    action->setObjectName(name);
    action->setShortcut(keys);
    action->setShortcutContext(context);
    return action;
}

} // namespace

ResultTableActions::ResultTableActions(QTableView* table, QWidget* window,
                                       const QString& messageTitle)
    : QObject(table), table(table), window(window), messageTitle(messageTitle)
{
    table->setSelectionBehavior(QAbstractItemView::SelectRows);
    table->setSelectionMode(QAbstractItemView::ExtendedSelection);

    // Widget-with-children: an open cell editor keeps its own Ctrl+C and Ctrl+A.
    copyAction = NewAction(QStringLiteral("actionCopy"), tr("复制"), QKeySequence::Copy,
                           Qt::WidgetWithChildrenShortcut, this);
    selectAllAction = NewAction(QStringLiteral("actionSelectAll"), tr("全选"),
                                QKeySequence::SelectAll, Qt::WidgetWithChildrenShortcut, this);
    exportAction = NewAction(QStringLiteral("actionExportCsv"), tr("导出CSV…"),
                             QKeySequence(Qt::CTRL | Qt::Key_S), Qt::WindowShortcut, this);
    connect(copyAction, &QAction::triggered, this, &ResultTableActions::CopySelectedRows);
    connect(selectAllAction, &QAction::triggered, table, &QTableView::selectAll);
    connect(exportAction, &QAction::triggered, this, &ResultTableActions::ExportCsv);

    table->addActions({copyAction, selectAllAction, exportAction});
    table->setContextMenuPolicy(Qt::ActionsContextMenu);
    window->addAction(exportAction);

    QAbstractItemModel* model = table->model();
    connect(table->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &ResultTableActions::UpdateActions);
    connect(model, &QAbstractItemModel::rowsInserted, this, &ResultTableActions::UpdateActions);
    connect(model, &QAbstractItemModel::rowsRemoved, this, &ResultTableActions::UpdateActions);
    connect(model, &QAbstractItemModel::modelReset, this, &ResultTableActions::UpdateActions);
    connect(table, &QTableView::doubleClicked, this, &ResultTableActions::OnDoubleClicked);
    table->installEventFilter(this);
    UpdateActions();
}

void ResultTableActions::UpdateActions()
{
    const QItemSelectionModel* selection = table->selectionModel();
    const QAbstractItemModel* model = table->model();
    copyAction->setEnabled(selection && selection->hasSelection());
    exportAction->setEnabled(model && model->rowCount() > 0);
}

void ResultTableActions::CopySelectedRows()
{
    const QItemSelectionModel* selection = table->selectionModel();
    if (!selection || !selection->hasSelection())
        return;
    QVector<int> rows;
    for (const QModelIndex& index : selection->selectedIndexes())
        rows.append(index.row());
    const QByteArray text = RowsAsTabSeparatedText(*table->model(), rows);
    QApplication::clipboard()->setText(QString::fromUtf8(text));
}

void ResultTableActions::ExportCsv()
{
    const QAbstractItemModel* model = table->model();
    if (!model || model->rowCount() == 0)
        return;

    QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    if (!QDir(documents).exists())
        documents = QDir::homePath();
    QFileDialog dialog(window, tr("导出CSV"), documents, tr("CSV 文件 (*.csv)"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setDefaultSuffix(QStringLiteral("csv"));
    dialog.selectFile(QDir(documents).filePath(tr("快递查询结果.csv")));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return;

    const QString path = dialog.selectedFiles().first();
    const QString failure = SaveWholeFile(path, ModelAsCsv(*model));
    if (!failure.isEmpty()) {
        QMessageBox::warning(window, messageTitle,
                             tr("无法保存 %1：%2").arg(QDir::toNativeSeparators(path), failure));
    }
}

void ResultTableActions::ShowHistory(int row)
{
    const QAbstractItemModel* model = table->model();
    if (!model || row < 0 || row >= model->rowCount())
        return;
    const QModelIndex eventCell = model->index(row, kEventColumn);
    HistoryDialog dialog(model->index(row, 0).data().toString(),
                         eventCell.data(kResultEventsRole).value<ResultEvents>(), window);
    dialog.exec();
}

void ResultTableActions::OnDoubleClicked(const QModelIndex& index)
{
    if (index.column() == kEventColumn)
        ShowHistory(index.row());
}

bool ResultTableActions::eventFilter(QObject* watched, QEvent* event)
{
    // Enter opens the current row's history; an open cell editor takes its keys itself.
    if (watched == table && event->type() == QEvent::KeyPress) {
        const QKeyEvent* key = static_cast<QKeyEvent*>(event);
        const bool enter = key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter;
        const Qt::KeyboardModifiers modifiers = key->modifiers() & ~Qt::KeypadModifier;
        if (enter && modifiers == Qt::NoModifier && table->currentIndex().isValid()) {
            ShowHistory(table->currentIndex().row());
            return true;
        }
    }
    return QObject::eventFilter(watched, event);
}
