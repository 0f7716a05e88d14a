#include "app/colvane.h"

#include "app/linemarks.h"
#include "app/resultreader.h"
#include "app/resulttableactions.h"
#include "app/themeicon.h"

#include <QAbstractItemModel>
#include <QHeaderView>
#include <QKeySequence>
#include <QLatin1Char>
#include <QMap>
#include <QMessageBox>
#include <QShortcut>
#include <QSize>
#include <QStandardItem>
#include <QStandardItemModel>
#include <QStringList>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextEdit>
#include <QVariant>

namespace {
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
    marks = new LineMarks(ui.textEdit);

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
    connect(&catchThread, &CCatchThread::numberLookedUp, this, &Colvane::OnNumberLookedUp);
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
    if (ui.textEdit->toPlainText().isEmpty()) {
        ShowNotice(tr("请先输入快递单号"));
        return;
    }
    // By the document's lines, which the marks go by: the plain text would break a line
    // at a soft line break too.
    QStringList lines;
    for (QTextBlock block = ui.textEdit->document()->begin(); block.isValid(); block = block.next())
        lines << block.text();
    PastedNumbers pasted = ReadPastedNumbers(lines);
    if (pasted.numbers.size() > kMaxNumbers) {
        ShowNotice(tr("一次最多查询20个单号"));
        return;
    }

    QAbstractItemModel* model = ui.tableView->model();
    model->removeRows(0, model->rowCount());
    marks->Clear();
    busy = true;
    numbersDone = 0;
    numbersInBatch = pasted.numbers.size();
    textEditedDuringBatch = false;
    batch = std::move(pasted);
    noRowReasons = QVector<QString>(numbersInBatch);
    ShowBusy();
    catchThread.StartCatch(batch.numbers.join(QLatin1Char('\n')));
}

void Colvane::OnBatchStarted(int numbers)
{
    numbersInBatch = numbers;
    ShowBusy();
}

void Colvane::OnNumberLookedUp(int, CCatchThread::LookupOutcome outcome, QString transferError)
{
    lastNoRowReason = NoRowReason(outcome, transferError);
}

void Colvane::OnNumberDone(int index, bool resultEmitted)
{
    ++numbersDone;
    ShowBusy();
    if ((resultEmitted && lastResultMadeRow) || index >= noRowReasons.size())
        return;
    noRowReasons[index] = lastNoRowReason;
    if (!textEditedDuringBatch)
        ShowMarks();
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
    marks->Clear();
    if (busy)
        textEditedDuringBatch = true;
}

void Colvane::ShowBusy()
{
    ui.pushButton->setEnabled(false);
    ui.pushButton->setText(tr("查询中 %1/%2").arg(numbersDone).arg(numbersInBatch));
}

void Colvane::ShowMarks()
{
    QMap<int, QString> notes;
    for (int line = 0; line < batch.onLine.size(); ++line) {
        const QVector<int>& numbers = batch.onLine.at(line);
        QStringList why;
        for (const int number : numbers) {
            const QString& reason = noRowReasons.at(number);
            if (reason.isEmpty())
                continue;
            // Beside other numbers, a reason must say which number it is about.
            why << (numbers.size() == 1 ? reason
                                        : tr("%1：%2").arg(batch.numbers.at(number), reason));
        }
        if (!why.isEmpty())
            notes.insert(line, why.join(QLatin1Char('\n')));
    }
    marks->Show(notes);
}

QString Colvane::NoRowReason(CCatchThread::LookupOutcome outcome, const QString& transferError)
{
    switch (outcome) {
    case CCatchThread::LookupOutcome::SiteUnreachable:
        return tr("站点无法连接：") + transferError;
    case CCatchThread::LookupOutcome::NumberUnknown:
        return tr("站点不认识此单号");
    case CCatchThread::LookupOutcome::NoEvents:
        return tr("暂无物流信息");
    case CCatchThread::LookupOutcome::ReplyUnreadable:
    case CCatchThread::LookupOutcome::Found: // with events the worker read, but no row here
        break;
    }
    return tr("站点回复无法读取");
}
