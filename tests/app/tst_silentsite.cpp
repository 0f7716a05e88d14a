#include "app/colvane.h"
#include "tests/net/testserver.h"
#include "worker/catchthread.h"

#include <QtTest>
#include <QtWidgets>

#include <memory>

// The window while its lookup thread waits on a site that accepts the connection and then
// says nothing, at the tests' site address.
class TestSilentSite : public QObject {
    Q_OBJECT

private slots:
    void windowStaysResponsive();
};

void TestSilentSite::windowStaysResponsive()
{
    const QUrl address(QString::fromUtf8(kSiteBaseAddress));
    CTestServer silent;
    silent.SetHandler([](const CTestServer::Request&) {
        CTestServer::Response response;
        response.cut = CTestServer::Cut::Stall;
        return response;
    });
    QVERIFY2(silent.Start(false, address.port()), kSiteBaseAddress);

    std::unique_ptr<Colvane> window(new Colvane);
    window->show();
    window->findChild<QTextEdit*>(QStringLiteral("textEdit"))
        ->setPlainText(QStringLiteral("N1\nN2"));
    QPushButton* start = window->findChild<QPushButton*>(QStringLiteral("pushButton"));
    start->click();
    QTRY_VERIFY_WITH_TIMEOUT(!silent.Requests().empty(), 5000);

    // The worker now sits in a request that its site will not answer for a minute.
    int ticks = 0;
    QTimer ticker;
    connect(&ticker, &QTimer::timeout, [&ticks] { ++ticks; });
    ticker.start(10);
    QTRY_VERIFY_WITH_TIMEOUT(ticks >= 20, 5000);

    // A second start hands its text over without waiting for the busy worker.
    QAbstractItemModel* model =
        window->findChild<QTableView*>(QStringLiteral("tableView"))->model();
    start->click();
    QCOMPARE(model->rowCount(), 0);
    const int before = ticks;
    QTRY_VERIFY_WITH_TIMEOUT(ticks >= before + 5, 5000);
    QCOMPARE(silent.Requests().size(), size_t(1));

    // Closing must abandon the silent request rather than sit out its time-out.
    QElapsedTimer closing;
    closing.start();
    window.reset();
    QVERIFY2(closing.elapsed() < 10000, qPrintable(QString::number(closing.elapsed())));
    silent.Stop();
}

int RunSilentSiteTests(int argc, char** argv)
{
    TestSilentSite test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_silentsite.moc"
