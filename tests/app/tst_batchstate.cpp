#include "app/colvane.h"
#include "tests/net/testserver.h"
#include "tests/worker/workerharness.h"
#include "worker/catchthread.h"

#include <QtTest>
#include <QtWidgets>

#include <atomic>
#include <cstring>
#include <string>

namespace {

using Request = CTestServer::Request;
using Response = CTestServer::Response;

// The tests' site: UNKNOWN1 is unknown, ERR1 fails, EMPTY1 has no events, SLOW1 answers (as
// unknown) only once the test opens the gate, and every other number gets one event.
struct BatchSite {
    CTestServer server;
    std::atomic<bool> gateOpen{false};

    BatchSite()
    {
        server.SetHandler([this](const Request& request) {
            const std::string& target = request.target;
            if (!StartsWith(target, kDetectionPrefix))
                return target == "/" ? Json("{}") : Json(InfoReplyFor(target));
            const std::string number = target.substr(std::strlen(kDetectionPrefix),
                                                     target.size() - std::strlen(kDetectionPrefix) - 5);
            if (number == "SLOW1") {
                while (!gateOpen)
                    QThread::msleep(5);
            }
            if (number == "UNKNOWN1" || number == "SLOW1")
                return Json("[]");
            if (number == "ERR1") {
                Response failed;
                failed.status = 500;
                return failed;
            }
            return Json("[{\"exname\":\"kd\"}]");
        });
    }

    // A test that fails early must not leave a connection waiting at the gate.
    ~BatchSite()
    {
        gateOpen = true;
        server.Stop();
    }

    static std::string InfoReplyFor(const std::string& target)
    {
        const std::string rest = target.substr(std::strlen(kInfoPrefix));
        const std::string number = rest.substr(0, rest.find('-'));
        return number == "EMPTY1" ? "{\"nu\":\"EMPTY1\",\"data\":[]}" : InfoReply(number);
    }

    bool Start()
    {
        return server.Start(false, QUrl(QString::fromUtf8(kSiteBaseAddress)).port());
    }

    int Detections() const
    {
        int count = 0;
        for (const Request& request : server.Requests())
            count += StartsWith(request.target, kDetectionPrefix) ? 1 : 0;
        return count;
    }
};

QList<int> MarkedLines(QTextEdit* text)
{
    QList<int> lines;
    for (const QTextEdit::ExtraSelection& mark : text->extraSelections())
        lines << mark.cursor.blockNumber();
    std::sort(lines.begin(), lines.end());
    return lines;
}

} // namespace

class TestBatchState : public QObject {
    Q_OBJECT

private slots:
    void busyWhileBatchRuns();
    void marksLinesWithoutRow();
};

void TestBatchState::busyWhileBatchRuns()
{
    BatchSite site;
    QVERIFY(site.Start());
    Colvane window;
    QTextEdit* text = window.findChild<QTextEdit*>(QStringLiteral("textEdit"));
    QPushButton* start = window.findChild<QPushButton*>(QStringLiteral("pushButton"));
    const qint64 icon = start->icon().cacheKey();
    text->setPlainText(QStringLiteral("UNKNOWN1\nSLOW1"));

    start->click();
    QVERIFY(!start->isEnabled());
    QCOMPARE(start->text(), QStringLiteral("查询中 0/2"));
    QTRY_COMPARE(start->text(), QStringLiteral("查询中 1/2"));
    QVERIFY(!start->isEnabled());
    QCOMPARE(MarkedLines(text), QList<int>{0});

    // A start from the keyboard while busy hands nothing over.
    QTest::keyClick(text, Qt::Key_Return, Qt::ControlModifier);
    QCOMPARE(start->text(), QStringLiteral("查询中 1/2"));

    // An edit drops the marks, and the rest of this batch marks nothing.
    text->moveCursor(QTextCursor::End);
    text->insertPlainText(QStringLiteral("\nN3"));
    QCOMPARE(MarkedLines(text), QList<int>());
    site.gateOpen = true;
    QTRY_VERIFY(start->isEnabled());
    QCOMPARE(start->text(), QStringLiteral("查询"));
    QCOMPARE(start->icon().cacheKey(), icon);
    QCOMPARE(MarkedLines(text), QList<int>());
    QCOMPARE(site.Detections(), 2);
}

void TestBatchState::marksLinesWithoutRow()
{
    BatchSite site;
    site.gateOpen = true;
    QVERIFY(site.Start());
    Colvane window;
    QTextEdit* text = window.findChild<QTextEdit*>(QStringLiteral("textEdit"));
    QPushButton* start = window.findChild<QPushButton*>(QStringLiteral("pushButton"));

    // Twenty numbers as pasted from a column: blank lines between, a line feed at the end.
    QStringList lines = {QStringLiteral("GOOD1"), QStringLiteral("UNKNOWN1"), QString(),
                         QStringLiteral("ERR1"), QStringLiteral("EMPTY1"), QString()};
    for (int i = 0; lines.size() < 22; ++i)
        lines << QStringLiteral("N%1").arg(i);
    lines << QString();
    text->setPlainText(lines.join(QLatin1Char('\n')));
    QCOMPARE(CountNumbers(lines), 20);

    start->click();
    QTRY_VERIFY_WITH_TIMEOUT(start->isEnabled(), 20000);
    QCOMPARE(site.Detections(), 20);
    QCOMPARE(window.findChild<QTableView*>()->model()->rowCount(), 17);
    QCOMPARE(MarkedLines(text), (QList<int>{1, 3, 4}));
    QCOMPARE(text->toPlainText(), lines.join(QLatin1Char('\n')));

    text->textCursor().insertText(QStringLiteral("x"));
    QCOMPARE(MarkedLines(text), QList<int>());
}

int RunBatchStateTests(int argc, char** argv)
{
    TestBatchState test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_batchstate.moc"
