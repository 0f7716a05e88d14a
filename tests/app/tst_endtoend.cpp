#include "app/colvane.h"
#include "site/parcelset.h"
#include "site/trackingsite.h"
#include "worker/catchthread.h"

#include <QtTest>
#include <QtWidgets>

// The window, its lookup thread and the stand-in site together, at the tests' site address.
class TestEndToEnd : public QObject {
    Q_OBJECT

private slots:
    void demoNumbersBecomeRows();
};

void TestEndToEnd::demoNumbersBecomeRows()
{
    const QUrl address(QString::fromUtf8(kSiteBaseAddress));
    CSiteServer site(BuiltInParcelSet());
    QVERIFY2(site.Start(address.host().toStdString(), address.port()) > 0, kSiteBaseAddress);

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

int RunEndToEndTests(int argc, char** argv)
{
    TestEndToEnd test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_endtoend.moc"
