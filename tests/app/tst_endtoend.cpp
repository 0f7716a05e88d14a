#include "app/colvane.h"
#include "site/parcelset.h"
#include "site/trackingsite.h"
#include "worker/catchthread.h"

#include <curl/curl.h>

#include <QtTest>
#include <QtWidgets>

#include <memory>

namespace {

// Requests for this number the stand-in site breaks off.
const char kFailingNumber[] = "FAIL0001";

// The tooltip shown while the pointer rests on line `line` of box; empty when there is none.
QString ToolTipOn(QTextEdit* box, int line)
{
    // A hidden tooltip lingers a moment, its text with it.
    QToolTip::hideText();
    if (!QTest::qWaitFor([] { return !QToolTip::isVisible(); }))
        return QStringLiteral("(an earlier tooltip stays)");
    const QRect rect = box->cursorRect(QTextCursor(box->document()->findBlockByNumber(line)));
    const QPoint at(box->viewport()->width() / 2, rect.center().y());
    QHelpEvent help(QEvent::ToolTip, at, box->viewport()->mapToGlobal(at));
    QApplication::sendEvent(box->viewport(), &help);
    return QToolTip::isVisible() ? QToolTip::text() : QString();
}

} // namespace

// The window, its lookup thread and the stand-in site together, at the tests' site address.
class TestEndToEnd : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase() { site.reset(); }
    void demoNumbersBecomeRows();
    void pastedNumbers_data();
    void pastedNumbers();
    void whyNoRow();

private:
    std::unique_ptr<CSiteServer> site;
};

void TestEndToEnd::initTestCase()
{
    const QUrl address(QString::fromUtf8(kSiteBaseAddress));
    site.reset(new CSiteServer(BuiltInParcelSet()));
    site->FailRequestsFor(kFailingNumber);
    QVERIFY2(site->Start(address.host().toStdString(), address.port()) > 0, kSiteBaseAddress);
}

void TestEndToEnd::demoNumbersBecomeRows()
{
    Colvane window;
    window.show();
    window.findChild<QTextEdit*>(QStringLiteral("textEdit"))
        ->setPlainText(QStringLiteral("QN7301846259318\n\nunknown-number\nJP0082457613\nLJ240517300196\n"));
    window.findChild<QPushButton*>(QStringLiteral("pushButton"))->click();

    QAbstractItemModel* model = window.findChild<QTableView*>(QStringLiteral("tableView"))->model();
    QTRY_COMPARE_WITH_TIMEOUT(model->rowCount(), 3, 20000);
    const QStringList expected[] = {
        {QStringLiteral("QN7301846259318"),
         QStringLiteral("【上海市】已签收，签收人：本人，感谢使用青鸟快递，期待再次为您服务")},
        {QStringLiteral("JP0082457613"),
         QStringLiteral("【北京市】北京朝阳区望京营业部 派件员 张伟（电话 138****6217）正在为您派件")},
        {QStringLiteral("LJ240517300196"), QStringLiteral("【郑州市】快件已到达 郑州转运中心")},
    };
    for (int row = 0; row < 3; ++row) {
        QCOMPARE(model->index(row, 0).data().toString(), expected[row].at(0));
        QCOMPARE(model->index(row, 1).data().toString(), expected[row].at(1));
    }
    QTest::qWait(100); // a stray fourth row would show up here
    QCOMPARE(model->rowCount(), 3);
}

void TestEndToEnd::pastedNumbers_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("numbers"); // asked for in this order, each once; each a row

    const QString qn = QStringLiteral("QN7301846259318"), jp = QStringLiteral("JP0082457613"),
                  lj = QStringLiteral("LJ240517300196"), fy = QStringLiteral("880311258946");
    QTest::newRow("blanks around") << " " + qn + "  " << QStringList{qn};
    QTest::newRow("ideographic space") << QChar(0x3000) + fy << QStringList{fy};
    QTest::newRow("invisible characters, one inside")
        << QChar(0xfeff) + jp.left(4) + QChar(0x200b) + jp.mid(4) + QChar(0x2060)
        << QStringList{jp};
    QTest::newRow("spreadsheet row") << jp + QStringLiteral("\t张三\tx") << QStringList{jp};
    QTest::newRow("labelled") << QStringLiteral("单号：") + qn << QStringList{qn};
    QTest::newRow("two to a line") << qn + QStringLiteral("，") + lj + "\n" + fy
            + QStringLiteral("、") + jp + QStringLiteral(" | 备注;x")
                                   << QStringList{qn, lj, fy, jp};
    QTest::newRow("repeated, more lines than the limit")
        << (lj + "\n").repeated(25) + jp + QChar(0xa0) + lj << QStringList{lj, jp};
    QTest::newRow("CRLF") << lj + "\r\n" + jp + "\r\n" << QStringList{lj, jp};
}

void TestEndToEnd::pastedNumbers()
{
    QFETCH(QString, text);
    QFETCH(QStringList, numbers);

    const size_t before = site->RequestedPaths().size();
    Colvane window;
    QTextEdit* box = window.findChild<QTextEdit*>(QStringLiteral("textEdit"));
    QPushButton* start = window.findChild<QPushButton*>(QStringLiteral("pushButton"));
    box->setPlainText(text);
    const QString pasted = box->toPlainText();
    start->click();
    QCOMPARE(start->text(), QStringLiteral("查询中 0/%1").arg(numbers.size()));
    QTRY_VERIFY_WITH_TIMEOUT(start->isEnabled(), 20000);

    const std::vector<std::string> paths = site->RequestedPaths();
    const QString detection = QStringLiteral("/index-ajaxselectinfo-");
    QStringList asked;
    for (size_t i = before; i < paths.size(); ++i) {
        const QString path = QString::fromStdString(paths[i]);
        if (path.startsWith(detection))
            asked << path.mid(detection.size()).chopped(5);
    }
    QCOMPARE(asked, numbers);
    QAbstractItemModel* model = window.findChild<QTableView*>()->model();
    QStringList rows;
    for (int row = 0; row < model->rowCount(); ++row)
        rows << model->index(row, 0).data().toString();
    QCOMPARE(rows, numbers);
    QCOMPARE(box->toPlainText(), pasted);
}

void TestEndToEnd::whyNoRow()
{
    const QString failing = QString::fromLatin1(kFailingNumber);
    const QString unreachable =
        QStringLiteral("站点无法连接：") + QString::fromUtf8(curl_easy_strerror(CURLE_PARTIAL_FILE));
    const QVector<QPair<QString, QString>> lines = { // a line, and its tooltip when marked
        {"QN7301846259318", ""},
        {QStringLiteral("单号：ZZ0000000001"), QStringLiteral("站点不认识此单号")},
        {"TX9584107729", QStringLiteral("暂无物流信息")},
        {QStringLiteral("张三 x"), ""},
        {failing, unreachable},
        {"", ""},
        {"JP0082457613, ZZ0000000001", QStringLiteral("ZZ0000000001：站点不认识此单号")},
        {"TX9584107729 " + failing,
         QStringLiteral("TX9584107729：暂无物流信息\n") + failing + QStringLiteral("：") + unreachable},
        // So long an address that the site refuses it with an empty error page.
        {QString(9000, QLatin1Char('7')), QStringLiteral("站点回复无法读取")}};
    QStringList text, described;
    QList<int> marked;
    for (int line = 0; line < lines.size(); ++line) {
        text << lines.at(line).first;
        if (!lines.at(line).second.isEmpty()) {
            marked << line;
            described << QStringLiteral("第%1行：%2").arg(line + 1).arg(lines.at(line).second);
        }
    }
    Colvane window;
    window.show();
    QTextEdit* box = window.findChild<QTextEdit*>(QStringLiteral("textEdit"));
    box->setPlainText(text.join(QLatin1Char('\n')));
    QPushButton* start = window.findChild<QPushButton*>(QStringLiteral("pushButton"));
    start->click();
    QTRY_VERIFY_WITH_TIMEOUT(start->isEnabled(), 20000);

    QCOMPARE(window.findChild<QTableView*>()->model()->rowCount(), 2);
    QList<int> shown;
    for (const QTextEdit::ExtraSelection& mark : box->extraSelections())
        shown << mark.cursor.blockNumber();
    QCOMPARE(shown, marked);
    for (int line = 0; line < lines.size() - 1; ++line) // the long last line wraps far below
        QCOMPARE(ToolTipOn(box, line), lines.at(line).second);
    QAccessibleInterface* reader = QAccessible::queryAccessibleInterface(box);
    QCOMPARE(reader->text(QAccessible::Description), described.join(QLatin1Char('\n')));

    box->textCursor().insertText(QStringLiteral("x"));
    QCOMPARE(reader->text(QAccessible::Description), QString());
}

int RunEndToEndTests(int argc, char** argv)
{
    TestEndToEnd test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_endtoend.moc"
