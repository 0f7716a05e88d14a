#include "site/parcelset.h"

#include <httplib.h>

#include <QtTest>

Q_DECLARE_METATYPE(std::string)

namespace {

const char kGoodFile[] = R"({"couriers": {"alpha": {"name": "阿尔法快递"}},
  "parcels": [{"nu": "AB123", "exname": "alpha", "events": [
    {"time": "2024-05-01 08:00:00", "context": "【北京市】已揽收"}]}]})";

QString WriteFile(const QTemporaryDir& dir, const QString& name, const QByteArray& content)
{
    QFile file(dir.filePath(name));
    if (!file.open(QIODevice::WriteOnly) || file.write(content) != content.size())
        qFatal("cannot write %s", qPrintable(file.fileName()));
    return file.fileName();
}

} // namespace

class TestParcelSet : public QObject {
    Q_OBJECT

private slots:
    void badSetIsRefused_data()
    {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<QString>("complaint");
        const QByteArray couriers = R"("couriers": {"alpha": {"name": "A"}})";
        const auto parcel = [&couriers](const QByteArray& fields) {
            return "{" + couriers + R"(, "parcels": [{)" + fields + "}]}";
        };
        const QByteArray events = R"("events": [{"time": "2024-05-01 08:00:00", "context": "x"}])";
        QTest::newRow("not JSON") << QByteArray("{\"couriers\": ") << "not valid JSON";
        QTest::newRow("array") << QByteArray("[]") << "top level must be an object";
        QTest::newRow("no couriers") << QByteArray(R"({"parcels": []})") << "\"couriers\"";
        QTest::newRow("courier name with dash")
            << QByteArray(R"({"couriers": {"al-pha": {"name": "A"}}, "parcels": []})") << "al-pha";
        QTest::newRow("no parcels") << "{" + couriers + "}"
                                    << "\"parcels\"";
        QTest::newRow("parcel without nu") << parcel(R"("exname": "alpha", )" + events) << "\"nu\"";
        QTest::newRow("nu with a slash")
            << parcel(R"("nu": "A/1", "exname": "alpha", )" + events) << "letters and digits";
        QTest::newRow("unknown courier")
            << parcel(R"("nu": "A1", "exname": "gamma", )" + events) << "\"gamma\"";
        QTest::newRow("no events") << parcel(R"("nu": "A1", "exname": "alpha")") << "\"events\"";
        QTest::newRow("event without context") << parcel(
            R"("nu": "A1", "exname": "alpha", "events": [{"time": "2024-05-01 08:00:00"}])")
                                               << "event 1: \"context\"";
        QTest::newRow("bad time") << parcel(
            R"("nu": "A1", "exname": "alpha", "events": [{"time": "2024-13-01 08:00:00", "context": "x"}])")
                                  << "\"time\"";
        QTest::newRow("number twice")
            << "{" + couriers + R"(, "parcels": [{"nu": "A1", "exname": "alpha", )" + events
                + R"(}, {"nu": "A1", "exname": "alpha", )" + events + "}]}"
            << "parcel 2: \"nu\" \"A1\" is listed twice";
    }

    void badSetIsRefused()
    {
        QFETCH(QByteArray, json);
        QFETCH(QString, complaint);
        CParcelSet set = BuiltInParcelSet();
        const QString error = LoadParcelSet(json, set);
        QVERIFY2(error.contains(complaint), qPrintable(error));
        QCOMPARE(set.parcels.size(), BuiltInParcelSet().parcels.size()); // left as it was
    }

    void fileErrorsNameTheFile()
    {
        QTemporaryDir dir;
        CParcelSet set;
        QVERIFY(LoadParcelFile(dir.filePath("missing.json"), set).contains("missing.json"));
        const QString bad = WriteFile(dir, "bad.json", "{");
        QVERIFY(LoadParcelFile(bad, set).startsWith(bad + ": not valid JSON"));
        QCOMPARE(LoadParcelFile(WriteFile(dir, "good.json", kGoodFile), set), QString());
        QCOMPARE(set.parcels.at("AB123").events.at(0).context, QString("【北京市】已揽收"));
    }

    // The README's demo numbers and the first texts the window shows for them.
    void builtInSet_data()
    {
        QTest::addColumn<std::string>("number");
        QTest::addColumn<QString>("firstContext");
        QTest::newRow("signed for")
            << std::string("QN7301846259318")
            << "【上海市】已签收，签收人：本人，感谢使用青鸟快递，期待再次为您服务";
        QTest::newRow("out for delivery")
            << std::string("JP0082457613")
            << "【北京市】北京朝阳区望京营业部 派件员 张伟（电话 138****6217）正在为您派件";
        QTest::newRow("in transit")
            << std::string("LJ240517300196") << "【郑州市】快件已到达 郑州转运中心";
        QTest::newRow("no event yet") << std::string("TX9584107729") << QString();
    }

    void builtInSet()
    {
        QFETCH(std::string, number);
        QFETCH(QString, firstContext);
        const CParcelSet set = BuiltInParcelSet();
        QVERIFY(set.parcels.size() >= 12);
        QVERIFY(set.couriers.size() >= 4);
        for (const auto& parcel : set.parcels) // one of them still waits for its first event
            QVERIFY2(!parcel.second.events.empty() || parcel.first == "TX9584107729",
                parcel.first.c_str());
        const std::vector<CTrackEvent>& events = set.parcels.at(number).events;
        QCOMPARE(events.empty() ? QString() : events.front().context, firstContext);
    }

    void executableRefusesBadStarts_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("complaint");
        QTest::newRow("bad data file")
            << QStringList{"--data", "$dir/bad.json"} << "bad.json: \"couriers\" must be";
        QTest::newRow("port not a number") << QStringList{"--port", "http"} << "--port";
        QTest::newRow("negative delay") << QStringList{"--delay-ms", "-5"} << "--delay-ms";
        QTest::newRow("unknown option") << QStringList{"--verbose"} << "verbose";
    }

    void executableRefusesBadStarts()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, complaint);
        QTemporaryDir dir;
        WriteFile(dir, "bad.json", R"({"couriers": {}})");
        arguments.replaceInStrings("$dir", dir.path());
        QProcess site;
        site.start(TRACKING_SITE_EXE, arguments);
        QVERIFY(site.waitForFinished(10000));
        QVERIFY(site.exitCode() != 0);
        const QString stderrText = QString::fromLocal8Bit(site.readAllStandardError());
        QVERIFY2(stderrText.contains(complaint), qPrintable(stderrText));
    }

    void executableServesDataFile()
    {
        QTemporaryDir dir;
        QProcess site;
        site.start(
            TRACKING_SITE_EXE, {"--port", "0", "--data", WriteFile(dir, "good.json", kGoodFile),
                                   "--fail", "FAIL1"});
        QVERIFY(site.waitForReadyRead(10000));
        const QString line = QString::fromLocal8Bit(site.readLine());
        const QRegularExpressionMatch match
            = QRegularExpression("serving 1 parcels at http://127\\.0\\.0\\.1:(\\d+)/").match(line);
        QVERIFY2(match.hasMatch(), qPrintable(line));

        httplib::Client client("127.0.0.1", match.captured(1).toInt());
        const auto home = client.Get("/");
        QVERIFY(home);
        std::string cookies;
        for (size_t i = 0; i < home->get_header_value_count("Set-Cookie"); ++i) {
            const std::string setCookie = home->get_header_value("Set-Cookie", i);
            cookies += setCookie.substr(0, setCookie.find(';') + 1);
        }
        const auto detection = client.Get("/index-ajaxselectinfo-AB123.html",
            {{"Cookie", cookies},
                {"Referer", "http://127.0.0.1:" + match.captured(1).toStdString() + "/"}});
        QVERIFY(detection);
        QVERIFY(!client.Get("/index-ajaxselectinfo-FAIL1.html")); // broken off, as --fail asks
        QVERIFY2(detection->body.find("\"exname\":\"alpha\"") != std::string::npos,
            detection->body.c_str());
        site.kill();
        site.waitForFinished(10000);
    }
};

int RunParcelSetTests(int argc, char* argv[])
{
    TestParcelSet test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_parcelset.moc"
