#include "app/colvane.h"
#include "app/historydialog.h"
#include "app/tableexport.h"
#include "tests/app/modalwatch.h"

#include <QtTest>
#include <QtWidgets>

namespace {

QByteArray Utf8(const char* text) { return QByteArray(text); }

std::unique_ptr<QStandardItemModel> ResultModel(const QVector<QStringList>& rows)
{
    auto model = std::make_unique<QStandardItemModel>(0, 2);
    model->setHorizontalHeaderLabels({QStringLiteral("id"), QStringLiteral("信息")});
    for (const QStringList& cells : rows)
        model->appendRow({new QStandardItem(cells.at(0)), new QStandardItem(cells.at(1))});
    return model;
}

// The window, active, with one row per reply fed straight to its result slot.
struct Window {
    Colvane colvane;
    QTableView* table = colvane.findChild<QTableView*>(QStringLiteral("tableView"));
    QTextEdit* numbers = colvane.findChild<QTextEdit*>(QStringLiteral("textEdit"));

    explicit Window(const QVector<const char*>& replies = {
                        R"({"nu":"SF1","data":[{"context":"a"}]})",
                        R"({"nu":"SF2","data":[{"context":"b"}]})",
                        R"({"nu":"SF3","data":[{"context":"c, d"}]})"})
    {
        for (const char* reply : replies)
            colvane.HandleCatchResult(QString::fromUtf8(reply));
        colvane.show();
        QApplication::setActiveWindow(&colvane);
    }
};

} // namespace

class TestResults : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase() { qputenv("HOME", realHome); }
    void csvFields_data();
    void csvFields();
    void tabSeparatedRows();
    void csvReadsAsTwoColumns();
    void copySelectedRows();
    void exportThroughDialog_data();
    void exportThroughDialog();
    void history_data();
    void history();
    void ctrlReturnStarts_data();
    void ctrlReturnStarts();

private:
    // The export proposes the documents folder; a test must not write into the real one.
    QTemporaryDir home;
    QByteArray realHome = qgetenv("HOME");
};

void TestResults::initTestCase()
{
    QVERIFY(QDir(home.path()).mkdir(QStringLiteral("Documents")));
    qputenv("HOME", QFile::encodeName(home.path()));
}

void TestResults::csvFields_data()
{
    QTest::addColumn<QString>("cell");
    QTest::addColumn<QByteArray>("field");
    QTest::newRow("plain Chinese") << QStringLiteral("已签收") << Utf8("已签收");
    QTest::newRow("empty") << QString() << QByteArray();
    QTest::newRow("comma") << "a,b" << Utf8("\"a,b\"");
    QTest::newRow("quotes doubled") << "say \"hi\"" << Utf8("\"say \"\"hi\"\"\"");
    QTest::newRow("LF inside") << "a\nb" << Utf8("\"a\nb\"");
    QTest::newRow("CR inside") << "a\rb" << Utf8("\"a\rb\"");
    QTest::newRow("formula") << "=HYPERLINK(\"x\")" << Utf8("\"'=HYPERLINK(\"\"x\"\")\"");
    QTest::newRow("plus") << "+1" << Utf8("'+1");
    QTest::newRow("minus") << "-1+2" << Utf8("'-1+2");
    QTest::newRow("at") << "@SUM(A1)" << Utf8("'@SUM(A1)");
    QTest::newRow("leading tab") << "\t=1" << Utf8("'\t=1");
    QTest::newRow("leading CR") << "\r=1" << Utf8("\"'\r=1\"");
    QTest::newRow("sign later") << "a=1-2" << Utf8("a=1-2");
}

void TestResults::csvFields()
{
    QFETCH(QString, cell);
    QFETCH(QByteArray, field);

    const auto model = ResultModel({{QStringLiteral("SF1"), cell}, {cell, QStringLiteral("x")}});
    QCOMPARE(ModelAsCsv(*model), Utf8("\xEF\xBB\xBFid,信息\r\nSF1,") + field + "\r\n" + field
                                     + ",x\r\n");
}

void TestResults::tabSeparatedRows()
{
    const auto model = ResultModel({{"SF1", "a\tb\r\nc"}, {"SF2", "已签收"}, {"=x", "\"q\","}});
    QCOMPARE(RowsAsTabSeparatedText(*model, {2, 0, 2, 7, -1}),
             Utf8("SF1\ta b  c\n=x\t\"q\",\n"));
    QCOMPARE(RowsAsTabSeparatedText(*model, {}), QByteArray());
}

void TestResults::csvReadsAsTwoColumns()
{
    const QString python = QStandardPaths::findExecutable(QStringLiteral("python3"));
    if (python.isEmpty())
        QSKIP("python3 is not installed");
    QVector<QStringList> rows = {{"SF1", QStringLiteral("【上海市】已签收，签收人：本人")},
                                 {"SF2", "line one\r\nline \"two\", end"},
                                 {"-SF3", "=1+1"},
                                 {"SF4", ""}};
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("out.csv"));
    QCOMPARE(SaveWholeFile(path, ModelAsCsv(*ResultModel(rows))), QString());

    QProcess reader;
    reader.start(python, {QStringLiteral("-c"),
                          QStringLiteral("import csv, json, sys\n"
                                         "with open(sys.argv[1], encoding='utf-8-sig', newline='') as f:\n"
                                         "    print(json.dumps(list(csv.reader(f))))\n"),
                          path});
    QVERIFY(reader.waitForFinished(30000));
    QCOMPARE(reader.exitCode(), 0);
    QVector<QStringList> read;
    for (const QJsonValue& row : QJsonDocument::fromJson(reader.readAllStandardOutput()).array())
        read.append(row.toVariant().toStringList());
    rows.prepend({"id", QStringLiteral("信息")});
    rows[3] = QStringList({"'-SF3", "'=1+1"});
    QCOMPARE(read, rows);
}

void TestResults::copySelectedRows()
{
    Window window;
    QVERIFY(QTest::qWaitForWindowActive(&window.colvane));
    QAction* copy = window.colvane.findChild<QAction*>(QStringLiteral("actionCopy"));
    QAction* exportCsv = window.colvane.findChild<QAction*>(QStringLiteral("actionExportCsv"));
    QVERIFY(!copy->isEnabled());
    QVERIFY(exportCsv->isEnabled());

    // The bottom row is selected first: the copy still follows the table's order.
    window.table->setFocus();
    window.table->selectRow(2);
    QTest::mouseClick(window.table->viewport(), Qt::LeftButton, Qt::ControlModifier,
                      window.table->visualRect(window.table->model()->index(0, 1)).center());
    QVERIFY(copy->isEnabled());
    QTest::keySequence(window.table, QKeySequence::Copy);
    QCOMPARE(QApplication::clipboard()->text(), QStringLiteral("SF1\ta\nSF3\tc, d\n"));

    QTest::keySequence(window.table, QKeySequence::SelectAll);
    QCOMPARE(window.table->selectionModel()->selectedRows().size(), 3);
    window.table->model()->removeRows(0, 3);
    QVERIFY(!copy->isEnabled());
    QVERIFY(!exportCsv->isEnabled());
}

void TestResults::exportThroughDialog_data()
{
    QTest::addColumn<QString>("target");
    QTest::newRow("new file") << "results.csv";
    QTest::newRow("missing folder") << "missing/results.csv";
    QTest::newRow("cancelled") << "";
}

void TestResults::exportThroughDialog()
{
    QFETCH(QString, target);

    QTemporaryDir folder;
    Window window;
    QVERIFY(QTest::qWaitForWindowActive(&window.colvane));
    window.numbers->setFocus(); // Ctrl+S works from anywhere in the window

    QString proposed;
    QStringList boxes;
    WithModals([&window] { QTest::keyClick(window.numbers, Qt::Key_S, Qt::ControlModifier); },
               [&](QWidget* modal) {
                   if (QFileDialog* dialog = qobject_cast<QFileDialog*>(modal)) {
                       proposed = dialog->selectedFiles().value(0);
                       dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))
                           ->setText(folder.filePath(target));
                       Later(dialog, target.isEmpty() ? "reject" : "accept");
                   } else if (QMessageBox* box = qobject_cast<QMessageBox*>(modal)) {
                       boxes << box->windowTitle() << box->text();
                       Later(box, "reject");
                   } else {
                       Later(modal, "close");
                   }
               });

    // Windows keeps the documents folder's place to itself, away from HOME.
    const QDir documents(QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation));
    QCOMPARE(proposed, documents.filePath(QStringLiteral("快递查询结果.csv")));
    QVERIFY(!QFileInfo::exists(proposed));
    QFile written(folder.filePath(target));
    if (target == QLatin1String("results.csv")) {
        QVERIFY(written.open(QIODevice::ReadOnly));
        QCOMPARE(written.readAll(), ModelAsCsv(*window.table->model()));
        QCOMPARE(boxes, QStringList());
        return;
    }
    QVERIFY(QDir(folder.path()).isEmpty());
    if (target.isEmpty()) {
        QCOMPARE(boxes, QStringList());
    } else {
        QCOMPARE(boxes.size(), 2);
        QCOMPARE(boxes.at(0), QStringLiteral("Lunvo快递单号批量查询1.0"));
        QVERIFY2(boxes.at(1).contains(QStringLiteral("results.csv：")), qPrintable(boxes.at(1)));
    }
}

void TestResults::history_data()
{
    QTest::addColumn<int>("column");
    QTest::addColumn<bool>("enter");
    QTest::newRow("double-click on the event") << 1 << false;
    QTest::newRow("Enter") << 0 << true;
    QTest::newRow("double-click on the number edits") << 0 << false;
}

void TestResults::history()
{
    QFETCH(int, column);
    QFETCH(bool, enter);

    Window window({R"({"nu":"SF1","data":[{"context":"a"}]})",
                   R"({"nu":"JP7","data":[{"time":"05-18 09:12","context":"派件中"},)"
                   R"({"context":"已到达, 北京"},{"time":"05-16 20:02","context":"已收件"}]})"});
    QVERIFY(QTest::qWaitForWindowActive(&window.colvane));
    const QModelIndex cell = window.table->model()->index(1, column);
    window.table->setFocus();
    window.table->setCurrentIndex(cell);

    QString title;
    QVector<QStringList> shown;
    auto open = [&] {
        const QPoint centre = window.table->visualRect(cell).center();
        if (enter) {
            QTest::keyClick(window.table, Qt::Key_Return);
        } else { // a widget's double-click comes after a click, as from a real mouse
            QTest::mouseClick(window.table->viewport(), Qt::LeftButton, {}, centre);
            QTest::mouseDClick(window.table->viewport(), Qt::LeftButton, {}, centre);
        }
    };
    WithModals(open, [&](QWidget* modal) {
        if (HistoryDialog* dialog = qobject_cast<HistoryDialog*>(modal)) {
            title = dialog->windowTitle();
            const QAbstractItemModel* events = dialog->findChild<QTableView*>()->model();
            shown.append({events->headerData(0, Qt::Horizontal).toString(),
                          events->headerData(1, Qt::Horizontal).toString()});
            for (int row = 0; row < events->rowCount(); ++row) {
                shown.append({events->index(row, 0).data().toString(),
                              events->index(row, 1).data().toString()});
                QVERIFY(!(events->flags(events->index(row, 1)) & Qt::ItemIsEditable));
            }
            Later(dialog->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Close),
                  "click");
        } else {
            Later(modal, "close");
        }
    });

    if (column == 0 && !enter) {
        QCOMPARE(shown, QVector<QStringList>());
        QVERIFY(window.table->findChild<QLineEdit*>());
        return;
    }
    QCOMPARE(title, QStringLiteral("JP7"));
    QCOMPARE(shown, QVector<QStringList>({{QStringLiteral("时间"), QStringLiteral("信息")},
                                          {"05-18 09:12", QStringLiteral("派件中")},
                                          {"", QStringLiteral("已到达, 北京")},
                                          {"05-16 20:02", QStringLiteral("已收件")}}));
}

void TestResults::ctrlReturnStarts_data()
{
    QTest::addColumn<QString>("numbers");
    QTest::addColumn<QStringList>("boxes");
    QTest::addColumn<int>("rowsLeft");
    QTest::newRow("empty box asks for numbers") << "" << QStringList(QStringLiteral("请先输入快递单号")) << 3;
    QTest::newRow("numbers start a lookup") << "SF1" << QStringList() << 0;
}

void TestResults::ctrlReturnStarts()
{
    QFETCH(QString, numbers);
    QFETCH(QStringList, boxes);
    QFETCH(int, rowsLeft);

    Window window;
    QVERIFY(QTest::qWaitForWindowActive(&window.colvane));
    window.numbers->setPlainText(numbers);
    window.numbers->setFocus();
    QStringList seen;
    WithModals([&window] { QTest::keyClick(window.numbers, Qt::Key_Return, Qt::ControlModifier); },
               [&seen](QWidget* modal) {
                   if (QMessageBox* box = qobject_cast<QMessageBox*>(modal))
                       seen << box->text();
                   Later(modal, "close");
               });
    QCOMPARE(seen, boxes);
    QCOMPARE(window.table->model()->rowCount(), rowsLeft);
    QCOMPARE(window.numbers->toPlainText(), numbers);
}

int RunResultTests(int argc, char** argv)
{
    TestResults test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_results.moc"
