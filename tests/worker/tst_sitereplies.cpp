#include "worker/sitereplies.h"

#include <QtTest>

#include <string>

Q_DECLARE_METATYPE(std::string)

class TestSiteReplies : public QObject {
    Q_OBJECT

private slots:
    void courierDetection_data();
    void courierDetection();
    void courierInfoAddress_data();
    void courierInfoAddress();
};

void TestSiteReplies::courierDetection_data()
{
    QTest::addColumn<std::string>("reply");
    QTest::addColumn<bool>("usable");
    QTest::addColumn<std::string>("exname");

    QTest::newRow("array") << std::string("[{\"exname\":\"kd\",\"name\":\"x\"}]") << true
                           << std::string("kd");
    QTest::newRow("key 0") << std::string("{\"0\":{\"exname\":\"kd\"}}") << true
                           << std::string("kd");
    QTest::newRow("array wins over nothing else") << std::string("[{}]") << true << std::string();
    QTest::newRow("non-ASCII name as UTF-8") << std::string("[{\"exname\":\"\\u987a\"}]") << true
                                            << std::string("\xe9\xa1\xba");
    QTest::newRow("cut at the first zero byte")
        << std::string("[{\"exname\":\"kd\"}]\0junk", 21) << true << std::string("kd");
    QTest::newRow("zero byte inside the document")
        << std::string("[{\"exname\":\0\"kd\"}]", 18) << false << std::string();
    QTest::newRow("key 0 not an object") << std::string("{\"0\":\"kd\"}") << true
                                         << std::string();
    QTest::newRow("empty text") << std::string() << false << std::string();
    QTest::newRow("failure text") << std::string("Down page Failed Error Code is 0=Couldn't connect")
                                  << false << std::string();
}

void TestSiteReplies::courierDetection()
{
    QFETCH(std::string, reply);
    QFETCH(bool, usable);
    QFETCH(std::string, exname);

    const CourierDetection detection = ReadCourierDetection(reply);
    QCOMPARE(detection.usable, usable);
    QCOMPARE(detection.exname, exname);
}

void TestSiteReplies::courierInfoAddress_data()
{
    QTest::addColumn<std::string>("number");
    QTest::addColumn<std::string>("exname");
    QTest::addColumn<std::string>("expected");

    QTest::newRow("plain") << std::string("N1") << std::string("kd")
                           << std::string("b/index-ajaxselectcourierinfo-N1-kd-OXCAO1234567890123.html");
    QTest::newRow("number holding {1} gets the courier name")
        << std::string("a{1}") << std::string("kd")
        << std::string("b/index-ajaxselectcourierinfo-akd-kd-OXCAO1234567890123.html");
    QTest::newRow("courier name holding {2} gets the token")
        << std::string("N1") << std::string("k{2}")
        << std::string("b/index-ajaxselectcourierinfo-N1-k1234567890123-OXCAO1234567890123.html");
    QTest::newRow("number holding {0} ends")
        << std::string("{0}") << std::string("kd")
        << std::string("b/index-ajaxselectcourierinfo-{0}-kd-OXCAO1234567890123.html");
}

void TestSiteReplies::courierInfoAddress()
{
    QFETCH(std::string, number);
    QFETCH(std::string, exname);
    QFETCH(std::string, expected);
    QCOMPARE(MakeCourierInfoAddress("b/", number, exname, "1234567890123"), expected);
}

int RunSiteRepliesTests(int argc, char** argv)
{
    TestSiteReplies test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_sitereplies.moc"
