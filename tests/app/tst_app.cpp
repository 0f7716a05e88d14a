#include "app/colvane.h"
#include "app/resultreader.h"
#include "tests/app/modalwatch.h"
#include "tests/net/testserver.h"
#include "worker/catchthread.h"

#include <QtTest>
#include <QtWidgets>

namespace {

const char* const kTitle = "Lunvo快递单号批量查询1.0";

QString Reply(const char* json) { return QString::fromUtf8(json); }

QAbstractItemModel* ModelOf(Colvane& window)
{
    return window.findChild<QTableView*>(QStringLiteral("tableView"))->model();
}

QStringList Row(QAbstractItemModel* model, int row)
{
    return {model->index(row, 0).data().toString(), model->index(row, 1).data().toString()};
}

// What a message box showed while the test's click was running.
struct SeenBox {
    int count = 0;
    QString title;
    QString text;
    QMessageBox::StandardButtons buttons;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    bool hasParent = false;
};

// Clicks the start button and closes any modal box that opens meanwhile, noting what it was.
SeenBox ClickStart(Colvane& window)
{
    SeenBox seen;
    QPushButton* start = window.findChild<QPushButton*>(QStringLiteral("pushButton"));
    WithModals([start] { start->click(); }, [&seen](QWidget* modal) {
        if (QMessageBox* box = qobject_cast<QMessageBox*>(modal)) {
            ++seen.count;
            seen.title = box->windowTitle();
            seen.text = box->text();
            seen.buttons = box->standardButtons();
            seen.icon = box->icon();
            seen.hasParent = box->parentWidget() != nullptr;
            if (QAbstractButton* yes = box->button(QMessageBox::Yes)) {
                Later(yes, "click");
                return;
            }
        }
        Later(modal, "close");
    });
    return seen;
}

} // namespace

class TestApp : public QObject {
    Q_OBJECT

private slots:
    void form();
    void startButtonIcon();
    void images_data();
    void images();
    void readResultRow_data();
    void readResultRow();
    void resultsAppendRows();
    void refusedInputShowsMessage_data();
    void refusedInputShowsMessage();
    void startEmptiesTable_data();
    void startEmptiesTable();
};

void TestApp::form()
{
    Colvane window;
    QCOMPARE(window.objectName(), QStringLiteral("ColvaneClass"));
    QCOMPARE(window.size(), QSize(902, 309));

    QWidget* central = window.centralWidget();
    QVERIFY(central);
    QCOMPARE(central->objectName(), QStringLiteral("centralWidget"));
    QGridLayout* grid = qobject_cast<QGridLayout*>(central->layout());
    QVERIFY(grid);
    QCOMPARE(grid->objectName(), QStringLiteral("gridLayout"));
    QCOMPARE(grid->horizontalSpacing(), 6);
    QCOMPARE(grid->verticalSpacing(), 6);
    QCOMPARE(grid->contentsMargins(), QMargins(11, 11, 11, 11));

    struct Placement {
        const char* name;
        int row, column, rowSpan, columnSpan, stretch;
    };
    const Placement placements[] = {
        {"tableView", 0, 0, 2, 1, 8},
        {"textEdit", 0, 1, 1, 1, 2},
        {"pushButton", 1, 1, 1, 1, -1},
    };
    for (const Placement& expected : placements) {
        QWidget* widget = central->findChild<QWidget*>(QLatin1String(expected.name));
        QVERIFY2(widget, expected.name);
        QCOMPARE(widget->parentWidget(), central);
        const int index = grid->indexOf(widget);
        QVERIFY2(index >= 0, expected.name);
        int row = -1, column = -1, rowSpan = -1, columnSpan = -1;
        grid->getItemPosition(index, &row, &column, &rowSpan, &columnSpan);
        QCOMPARE(QVector<int>({row, column, rowSpan, columnSpan}),
                 QVector<int>({expected.row, expected.column, expected.rowSpan,
                               expected.columnSpan}));
        if (expected.stretch >= 0) {
            const QSizePolicy policy = widget->sizePolicy();
            QCOMPARE(policy.horizontalPolicy(), QSizePolicy::Expanding);
            QCOMPARE(policy.verticalPolicy(), QSizePolicy::Expanding);
            QCOMPARE(policy.horizontalStretch(), expected.stretch);
            QCOMPARE(policy.verticalStretch(), 0);
        }
    }

    QPushButton* button = window.findChild<QPushButton*>(QStringLiteral("pushButton"));
    QCOMPARE(button->text(), QStringLiteral("查询"));
    QVERIFY(window.findChild<QTextEdit*>(QStringLiteral("textEdit"))->toPlainText().isEmpty());

    QTableView* table = window.findChild<QTableView*>(QStringLiteral("tableView"));
    QAbstractItemModel* model = table->model();
    QVERIFY(qobject_cast<QStandardItemModel*>(model));
    QCOMPARE(model->columnCount(), 2);
    QCOMPARE(model->rowCount(), 0);
    QCOMPARE(model->headerData(0, Qt::Horizontal).toString(), QStringLiteral("id"));
    QCOMPARE(model->headerData(1, Qt::Horizontal).toString(), QStringLiteral("信息"));
    QVERIFY(table->showGrid());
    QCOMPARE(table->gridStyle(), Qt::DotLine);
    QCOMPARE(table->horizontalHeader()->sectionResizeMode(0), QHeaderView::ResizeToContents);
    QCOMPARE(table->horizontalHeader()->sectionResizeMode(1), QHeaderView::ResizeToContents);

    // The table's column takes the larger share of the width once laid out.
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QVERIFY(table->width() > 2 * window.findChild<QTextEdit*>()->width());
    QVERIFY(button->y() > window.findChild<QTextEdit*>()->y());
}

void TestApp::startButtonIcon()
{
    Colvane window;
    QPushButton* button = window.findChild<QPushButton*>(QStringLiteral("pushButton"));
    QCOMPARE(button->iconSize(), QSize(24, 24));
    QVERIFY(!button->icon().isNull());
    if (QIcon::hasThemeIcon(QStringLiteral("start")))
        QSKIP("the icon theme has its own \"start\" icon");
    const QImage shown = button->icon().pixmap(QSize(32, 32)).toImage();
    const QImage compiledIn = QImage(QStringLiteral(":/Colvane/images/btn.png"));
    QVERIFY(!compiledIn.isNull());
    QCOMPARE(shown.convertToFormat(QImage::Format_ARGB32_Premultiplied),
             compiledIn.convertToFormat(QImage::Format_ARGB32_Premultiplied));
}

void TestApp::images_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QSize>("size");
    QTest::addColumn<bool>("grey");
    QTest::newRow("btn.png") << ":/Colvane/images/btn.png" << QSize(32, 32) << false;
    QTest::newRow("exe.png") << ":/Colvane/images/exe.png" << QSize(49, 47) << true;
    QTest::newRow("exe.ico") << ":/Colvane/images/exe.ico" << QSize(64, 62) << false;
}

void TestApp::images()
{
    QFETCH(QString, path);
    QFETCH(QSize, size);
    QFETCH(bool, grey);

    // This program links the window's library and nothing else of the images: the window
    // must bring them along.
    const Colvane window;
    const QImage image(path);
    QCOMPARE(image.size(), size);
    QVERIFY(image.hasAlphaChannel());
    QCOMPARE(image.allGray(), grey);
}

void TestApp::readResultRow_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("row");
    QTest::addColumn<QString>("number");
    QTest::addColumn<QString>("context");

    const QString signedFor = QStringLiteral("已签收");
    QTest::newRow("plain UTF-8")
        << Reply(R"({"nu":"SF1","data":[{"time":"t","context":"已签收"}]})") << true << "SF1"
        << signedFor;
    QTest::newRow("escaped non-ASCII")
        << Reply(R"({"nu":"SF1","data":[{"context":"\u5df2\u7B7E\u6536"}]})") << true << "SF1"
        << signedFor;
    QTest::newRow("escaped quotation mark")
        << Reply(R"({"nu":"SF1","data":[{"context":"say \u0022hi\u0022"}]})") << true << "SF1"
        << "say \"hi\"";
    QTest::newRow("escaped backslash")
        << Reply(R"({"nu":"SF1","data":[{"context":"a\u005cu0041b"}]})") << true << "SF1"
        << "a\\u0041b";
    QTest::newRow("surrogate pair")
        << Reply(R"({"nu":"SF1","data":[{"context":"\ud83d\udce6 ok"}]})") << true << "SF1"
        << QString::fromUtf8("\xF0\x9F\x93\xA6 ok");
    QTest::newRow("escaped number")
        << Reply(R"({"nu":"\u0053F2","data":[{"context":"x"}]})") << true << "SF2" << "x";
    QTest::newRow("two events show the first")
        << Reply(R"({"nu":"SF1","data":[{"context":"newest"},{"context":"older"}]})") << true
        << "SF1" << "newest";
    QTest::newRow("blanks around the document")
        << Reply(" \r\n{\"nu\":\"SF1\",\"data\":[{\"context\":\"x\"}]}\n ") << true << "SF1"
        << "x";
    QTest::newRow("missing nu") << Reply(R"({"data":[{"context":"x"}]})") << true << "" << "x";
    QTest::newRow("first event not an object")
        << Reply(R"({"nu":"SF1","data":["x",{"context":"y"}]})") << true << "SF1" << "";
    QTest::newRow("first event without context")
        << Reply(R"({"nu":"SF1","data":[{"time":"t"}]})") << true << "SF1" << "";
    QTest::newRow("ends at a zero character")
        << Reply(R"({"nu":"SF1","data":[{"context":"x"}]})") + QChar(0) + "garbage" << true
        << "SF1" << "x";

    QTest::newRow("empty data") << Reply(R"({"nu":"SF1","data":[]})") << false << "" << "";
    QTest::newRow("missing data") << Reply(R"({"nu":"SF1","message":"ok"})") << false << ""
                                  << "";
    QTest::newRow("data an object")
        << Reply(R"({"nu":"SF1","data":{"0":{"context":"x"}}})") << false << "" << "";
    QTest::newRow("top-level array")
        << Reply(R"([{"nu":"SF1","data":[{"context":"x"}]}])") << false << "" << "";
    QTest::newRow("failure text") << Reply("Couldn't connect to server") << false << "" << "";
    QTest::newRow("empty text") << QString() << false << "" << "";
    QTest::newRow("escape not hexadecimal")
        << Reply(R"({"nu":"SF1","data":[{"context":"\uZZZZ"}]})") << false << "" << "";
    QTest::newRow("cut short") << Reply(R"({"nu":"SF1","data":[{"context":"x"})") << false
                               << "" << "";
    QTest::newRow("zero character inside")
        << Reply(R"({"nu":"SF)") + QChar(0) + Reply(R"(1","data":[{"context":"x"}]})")
        << false << "" << "";
}

void TestApp::readResultRow()
{
    QFETCH(QString, text);
    QFETCH(bool, row);
    QFETCH(QString, number);
    QFETCH(QString, context);

    QString gotNumber = QStringLiteral("unchanged");
    QString gotContext = QStringLiteral("unchanged");
    QCOMPARE(ReadResultRow(text, gotNumber, gotContext), row);
    if (row) {
        QCOMPARE(gotNumber, number);
        QCOMPARE(gotContext, context);
    }
}

void TestApp::resultsAppendRows()
{
    Colvane window;
    QAbstractItemModel* model = ModelOf(window);
    window.HandleCatchResult(Reply(R"({"nu":"SF1","data":[{"context":"\u5df2\u7b7e\u6536"}]})"));
    window.HandleCatchResult(Reply(R"({"nu":"SF2","data":[]})"));
    window.HandleCatchResult(Reply("Operation timed out"));
    window.HandleCatchResult(Reply(R"({"nu":"SF3","data":[{"context":"say \u0022hi\u0022"}]})"));

    QCOMPARE(model->rowCount(), 2);
    QCOMPARE(Row(model, 0), QStringList({"SF1", QStringLiteral("已签收")}));
    QCOMPARE(Row(model, 1), QStringList({"SF3", "say \"hi\""}));
    for (int row = 0; row < model->rowCount(); ++row) {
        QVERIFY(model->flags(model->index(row, 0)) & Qt::ItemIsEditable);
        QVERIFY(!(model->flags(model->index(row, 1)) & Qt::ItemIsEditable));
    }
}

void TestApp::refusedInputShowsMessage_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("message");

    QTest::newRow("empty") << QString() << QStringLiteral("请先输入快递单号");
    QStringList numbers;
    for (int i = 0; i < 21; ++i)
        numbers << QStringLiteral("SF%1").arg(i) << QString();
    QTest::newRow("twenty-one numbers") << numbers.join(QLatin1Char('\n'))
                                        << QStringLiteral("一次最多查询20个单号");
}

void TestApp::refusedInputShowsMessage()
{
    QFETCH(QString, text);
    QFETCH(QString, message);

    CTestServer site;
    QVERIFY(site.Start(false, QUrl(QString::fromUtf8(kSiteBaseAddress)).port()));
    Colvane window;
    QAbstractItemModel* model = ModelOf(window);
    window.HandleCatchResult(Reply(R"({"nu":"SF1","data":[{"context":"x"}]})"));
    window.findChild<QTextEdit*>(QStringLiteral("textEdit"))->setPlainText(text);

    const SeenBox seen = ClickStart(window);
    QCOMPARE(seen.count, 1);
    QCOMPARE(seen.title, QString::fromUtf8(kTitle));
    QCOMPARE(seen.text, message);
    QCOMPARE(seen.buttons, QMessageBox::StandardButtons(QMessageBox::Yes));
    QCOMPARE(seen.icon, QMessageBox::Information);
    QVERIFY(!seen.hasParent);
    QCOMPARE(model->rowCount(), 1);
    QPushButton* start = window.findChild<QPushButton*>(QStringLiteral("pushButton"));
    QVERIFY(start->isEnabled());
    QCOMPARE(start->text(), QStringLiteral("查询"));
    QTest::qWait(50);
    QVERIFY(site.Requests().empty());
}

void TestApp::startEmptiesTable_data()
{
    QTest::addColumn<QString>("text");
    QTest::newRow("numbers") << "SF1\nSF2";
    QTest::newRow("only line breaks") << "\n\n";
    QTest::newRow("only a blank") << " ";
}

void TestApp::startEmptiesTable()
{
    QFETCH(QString, text);

    Colvane window;
    QAbstractItemModel* model = ModelOf(window);
    window.HandleCatchResult(Reply(R"({"nu":"SF1","data":[{"context":"x"}]})"));
    window.HandleCatchResult(Reply(R"({"nu":"SF2","data":[{"context":"y"}]})"));
    window.findChild<QTextEdit*>(QStringLiteral("textEdit"))->setPlainText(text);

    const SeenBox seen = ClickStart(window);
    QCOMPARE(seen.count, 0);
    QCOMPARE(model->rowCount(), 0);
    QCOMPARE(model->columnCount(), 2);
    QCOMPARE(model->headerData(1, Qt::Horizontal).toString(), QStringLiteral("信息"));

    // Results that arrive afterwards fill the emptied table from its first row.
    window.HandleCatchResult(Reply(R"({"nu":"SF9","data":[{"context":"z"}]})"));
    QCOMPARE(model->rowCount(), 1);
    QCOMPARE(Row(model, 0), QStringList({"SF9", "z"}));
}

int RunAppTests(int argc, char** argv)
{
    TestApp test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_app.moc"
