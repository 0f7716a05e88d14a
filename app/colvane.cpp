#include "app/colvane.h"

#include "app/resultreader.h"
#include "app/resulttableactions.h"
#include "app/themeicon.h"

#include <QAbstractItemModel>
#include <QColor>
#include <QHeaderView>
#include <QKeySequence>
#include <QLatin1Char>
#include <QMessageBox>
#include <QShortcut>
#include <QSize>
#include <QStandardItem>
#include <QStandardItemModel>
#include <QStringList>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextEdit>
#include <QVariant>

namespace {
// The background of a line whose number gave no row.
const QColor kNoRowBackground(255, 215, 215);

void ShowNotice(const QString& text)
{
    QMessageBox::information(nullptr, Colvane::WindowTitle(), text, QMessageBox::Yes,
                             QMessageBox::NoButton);
}
} // namespace

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

    ui.pushButton->setIcon(
        ThemeIconOr(QStringLiteral("start"), QStringLiteral(":/Colvane/images/btn.png")));
    ui.pushButton->setIconSize(QSize(24, 24));

    QStandardItemModel* model = new QStandardItemModel();
    model->setHorizontalHeaderLabels(tr("id,信息").simplified().split(QLatin1Char(',')));

    ui.tableView->setShowGrid(true);
    ui.tableView->setGridStyle(Qt::DotLine);
    ui.tableView->setModel(model);
    ui.tableView->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    ui.tableView->show();
    new ResultTableActions(ui.tableView, this, WindowTitle());

    // Starts the lookup from the keyboard through the button, so both behave the same.
    for (const QKeySequence& keys : {QKeySequence(Qt::CTRL | Qt::Key_Return),
                                     QKeySequence(Qt::CTRL | Qt::Key_Enter)}) {
        QShortcut* start = new QShortcut(keys, ui.textEdit);
        start->setContext(Qt::WidgetShortcut);
        connect(start, &QShortcut::activated, ui.pushButton, &QPushButton::click);
    }

    connect(ui.textEdit, &QTextEdit::textChanged, this, &Colvane::OnTextEdited);

    connect(ui.pushButton, SIGNAL(clicked()), this, SLOT(OnPushBClick()));
    catchThread.Launch();
    connect(&catchThread, SIGNAL(notifyResult(QString)), this, SLOT(HandleCatchResult(QString)));
    connect(&catchThread, &CCatchThread::batchStarted, this, &Colvane::OnBatchStarted);
    connect(&catchThread, &CCatchThread::numberDone, this, &Colvane::OnNumberDone);
    connect(&catchThread, &CCatchThread::batchFinished, this, &Colvane::OnBatchFinished);
}

QString Colvane::WindowTitle()
{
    return tr("Lunvo快递单号批量查询1.0");
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
    lastResultMadeRow = ReadResultEvents(str, number, events);
    if (!lastResultMadeRow)
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
    // The worker takes one batch at a time; a text handed over meanwhile would be lost.
    if (busy)
        return;
    const QString text = ui.textEdit->toPlainText();
    if (text.isEmpty()) {
        ShowNotice(tr("请先输入快递单号"));
        return;
    }
    const int numbers = CountNumbers(text.split(QLatin1Char('\n')));
    if (numbers > kMaxNumbers) {
        ShowNotice(tr("一次最多查询20个单号"));
        return;
    }

    QAbstractItemModel* model = ui.tableView->model();
    model->removeRows(0, model->rowCount());
    ui.textEdit->setExtraSelections({});
    busy = true;
    numbersDone = 0;
    numbersInBatch = numbers;
    textEditedDuringBatch = false;
    ShowBusy();
    catchThread.StartCatch(text);
}

void Colvane::OnBatchStarted(int numbers)
{
    numbersInBatch = numbers;
    ShowBusy();
}

void Colvane::OnNumberDone(int line, bool resultEmitted)
{
    ++numbersDone;
    ShowBusy();
    if (!(resultEmitted && lastResultMadeRow) && !textEditedDuringBatch)
        MarkLine(line);
}

void Colvane::OnBatchFinished()
{
    busy = false;
    ui.pushButton->setText(tr("查询"));
    ui.pushButton->setEnabled(true);
}

void Colvane::OnTextEdited()
{
    // Marks point at lines; once the text changes they may point at the wrong ones.
    ui.textEdit->setExtraSelections({});
    if (busy)
        textEditedDuringBatch = true;
}

void Colvane::ShowBusy()
{
    ui.pushButton->setEnabled(false);
    ui.pushButton->setText(tr("查询中 %1/%2").arg(numbersDone).arg(numbersInBatch));
}

void Colvane::MarkLine(int line)
{
    const QTextBlock block = ui.textEdit->document()->findBlockByNumber(line);
    if (!block.isValid())
        return;
    QTextEdit::ExtraSelection mark;
    mark.cursor = QTextCursor(block); // no selection: the full-width line alone is drawn
    mark.format.setBackground(kNoRowBackground);
    mark.format.setProperty(QTextFormat::FullWidthSelection, true);
    QList<QTextEdit::ExtraSelection> marks = ui.textEdit->extraSelections();
    marks << mark;
    ui.textEdit->setExtraSelections(marks);
}
