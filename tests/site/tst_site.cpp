#include "site/trackingsite.h"

#include <curl/curl.h>
#include <httplib.h>

#include <QtTest>

#include <algorithm>
#include <map>
#include <thread>

Q_DECLARE_METATYPE(std::string)

namespace {

// Listed oldest first on purpose: the site serves events newest first.
const char kTestSet[] = R"({
  "couriers": {"alpha": {"name": "阿尔法快递", "tel": "95000"}, "beta": {"name": "贝塔物流"}},
  "parcels": [
    {"nu": "AB123", "exname": "alpha", "state": "3", "events": [
      {"time": "2024-05-01 08:00:00", "context": "【北京市】已揽收"},
      {"time": "2024-05-02 09:30:00", "context": "【北京市】已签收，签收人：𠮷田😊"}]},
    {"nu": "CD456", "exname": "beta", "events": []}]})";

const char kToken[] = "1716000000123";

CParcelSet TestSet()
{
    CParcelSet set;
    const QString error = LoadParcelSet(kTestSet, set);
    Q_ASSERT(error.isEmpty());
    return set;
}

using CVisit = std::vector<std::pair<std::string, std::string>>; // cookies, in the order set

bool IsAscii(const std::string& text)
{
    for (unsigned char c : text) {
        if (c >= 0x80)
            return false;
    }
    return true;
}

QJsonDocument Parse(const std::string& body)
{
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(QByteArray::fromStdString(body), &error);
    if (error.error != QJsonParseError::NoError)
        qWarning("not JSON: %s", body.c_str());
    return document;
}

size_t CollectBody(char* data, size_t size, size_t count, void* body)
{
    static_cast<std::string*>(body)->append(data, size * count);
    return size * count;
}

} // namespace

class TestSite : public QObject {
    Q_OBJECT

private:
    CSiteServer server{TestSet()};
    std::string base;
    std::unique_ptr<httplib::Client> client;

    CVisit Visit()
    {
        CVisit visit;
        const auto result = client->Get("/", {{"Accept-Encoding", "identity"}});
        for (size_t i = 0; result && i < result->get_header_value_count("Set-Cookie"); ++i) {
            const std::string line = result->get_header_value("Set-Cookie", i);
            const std::string pair = line.substr(0, line.find(';'));
            visit.emplace_back(pair.substr(0, pair.find('=')), pair.substr(pair.find('=') + 1));
        }
        return visit;
    }

    httplib::Headers Admitted(const CVisit& visit)
    {
        std::string line;
        for (const auto& cookie : visit)
            line += cookie.first + "=" + cookie.second + ";";
        return {{"Referer", base}, {"Cookie", line}, {"Accept-Encoding", "identity"}};
    }

    std::string CourierInfo(const std::string& pathTail)
    {
        const std::string path = "/index-ajaxselectcourierinfo-" + pathTail;
        const auto result = client->Post(path.c_str(), Admitted(Visit()), "", "");
        return result ? result->body : "(no reply)";
    }

private slots:
    void initTestCase()
    {
        QVERIFY(server.Start() > 0);
        base = server.BaseAddress();
        client.reset(new httplib::Client(base.substr(0, base.size() - 1)));
        client->set_read_timeout(10, 0);
    }

    void homePageSetsSessionCookies()
    {
        const auto result = client->Get("/", {{"Accept-Encoding", "identity"}});
        QVERIFY(result && result->status == 200);
        QVERIFY(result->get_header_value("Content-Type").rfind("text/html", 0) == 0);
        const CVisit first = Visit(), second = Visit();
        QCOMPARE(first.size(), size_t(3));
        QVERIFY(!std::is_sorted(first.begin(), first.end()));
        for (size_t i = 0; i < first.size(); ++i) {
            QCOMPARE(first[i].first, std::string(kSiteCookieNames[i]));
            QVERIFY(first[i].second.size() >= 16);
            QVERIFY(first[i].second != second[i].second);
        }
    }

    void admission_data()
    {
        // "$0".."$2" stand for this visit's cookie values, "$x0".."$x2" for another visit's.
        QTest::addColumn<QStringList>("cookieLines");
        QTest::addColumn<QStringList>("referers");
        QTest::addColumn<bool>("admitted");
        const QString all = "TRKSESSID=$0; visitor_id=$1; csrf_tk=$2";
        const QString sorted = "Cookie-less;TRKSESSID=$0;csrf_tk=$2;visitor_id=$1;";
        const QStringList site{"$base"};
        QTest::newRow("all cookies, site referer") << QStringList{all} << site << true;
        QTest::newRow("engine line and own line") << QStringList{all, sorted} << site << true;
        QTest::newRow("cookies over two lines")
            << QStringList{"visitor_id=$1", "csrf_tk=$2; TRKSESSID=$0"} << site << true;
        QTest::newRow("referer twice")
            << QStringList{all} << QStringList{"$base", "$base"} << true;
        QTest::newRow("referer another page")
            << QStringList{all} << QStringList{"$baseindex.html"} << true;
        QTest::newRow("no cookies") << QStringList{} << site << false;
        QTest::newRow("one cookie missing")
            << QStringList{"TRKSESSID=$0; visitor_id=$1"} << site << false;
        QTest::newRow("unknown session")
            << QStringList{"TRKSESSID=0000; visitor_id=$1; csrf_tk=$2"} << site << false;
        QTest::newRow("another visit's token")
            << QStringList{"TRKSESSID=$0; visitor_id=$1; csrf_tk=$x2"} << site << false;
        QTest::newRow("a cookie with two values")
            << QStringList{all, "csrf_tk=$x2"} << site << false;
        QTest::newRow("no referer") << QStringList{all} << QStringList{} << false;
        QTest::newRow("foreign referer")
            << QStringList{all} << QStringList{"http://example.invalid/"} << false;
        QTest::newRow("second referer foreign")
            << QStringList{all} << QStringList{"$base", "http://example.invalid/"} << false;
    }

    void admission()
    {
        QFETCH(QStringList, cookieLines);
        QFETCH(QStringList, referers);
        QFETCH(bool, admitted);
        const CVisit visit = Visit(), other = Visit();
        httplib::Headers headers{{"Accept-Encoding", "identity"}};
        for (QString line : cookieLines) {
            for (int i = 0; i < 3; ++i) {
                line.replace(QString("$x%1").arg(i), QString::fromStdString(other[i].second));
                line.replace(QString("$%1").arg(i), QString::fromStdString(visit[i].second));
            }
            headers.emplace("Cookie", line.toStdString());
        }
        for (QString referer : referers)
            headers.emplace(
                "Referer", referer.replace("$base", QString::fromStdString(base)).toStdString());

        const auto detection = client->Get("/index-ajaxselectinfo-AB123.html", headers);
        const std::string infoPath
            = "/index-ajaxselectcourierinfo-AB123-alpha-OXCAO" + std::string(kToken) + ".html";
        const auto info = client->Post(infoPath.c_str(), headers, "", "");
        QVERIFY(detection && info);
        QCOMPARE(detection->body != "[]", admitted);
        QCOMPARE(info->body != "[]", admitted);
    }

    void detection_data()
    {
        QTest::addColumn<std::string>("number");
        QTest::addColumn<QString>("exname");
        QTest::addColumn<QString>("name");
        QTest::newRow("alpha") << std::string("AB123") << "alpha" << "阿尔法快递";
        QTest::newRow("beta") << std::string("CD456") << "beta" << "贝塔物流";
        QTest::newRow("unknown") << std::string("ZZ999") << QString() << QString();
        QTest::newRow("8000 characters") << std::string(8000, '7') << QString() << QString();
    }

    void detection()
    {
        QFETCH(std::string, number);
        QFETCH(QString, exname);
        QFETCH(QString, name);
        const auto result
            = client->Get(("/index-ajaxselectinfo-" + number + ".html").c_str(), Admitted(Visit()));
        QVERIFY(result && result->status == 200);
        QVERIFY(IsAscii(result->body));
        const QJsonArray couriers = Parse(result->body).array();
        QCOMPARE(couriers.isEmpty(), exname.isEmpty());
        QCOMPARE(couriers.at(0).toObject().value("exname").toString(), exname);
        QCOMPARE(couriers.at(0).toObject().value("name").toString(), name);
    }

    void tooLongAddressIsRefusedCleanly()
    {
        const auto result
            = client->Get(("/index-ajaxselectinfo-" + std::string(10000, '7') + ".html").c_str(),
                Admitted(Visit()));
        QVERIFY(result && result->status >= 400);
        const auto after = client->Get("/");
        QVERIFY(after && after->status == 200); // still serving
    }

    void courierInfo()
    {
        const std::string body = CourierInfo("AB123-alpha-OXCAO" + std::string(kToken) + ".html");
        QVERIFY(IsAscii(body));
        QVERIFY2(body.find("\\ud842\\udfb7") != std::string::npos, body.c_str()); // 𠮷
        QVERIFY2(body.find("\\ud83d\\ude0a") != std::string::npos, body.c_str()); // 😊
        const QJsonObject reply = Parse(body).object();
        QCOMPARE(reply.value("nu").toString(), QString("AB123"));
        QCOMPARE(reply.value("com").toString(), QString("alpha"));
        QCOMPARE(reply.value("ischeck").toString(), QString("1"));
        const QJsonArray events = reply.value("data").toArray();
        QCOMPARE(events.size(), 2);
        QCOMPARE(events.at(0).toObject().value("context").toString(),
            QString("【北京市】已签收，签收人：𠮷田😊"));
        QCOMPARE(events.at(0).toObject().value("time").toString(), QString("2024-05-02 09:30:00"));
        QCOMPARE(events.at(1).toObject().value("context").toString(), QString("【北京市】已揽收"));

        const std::string none = CourierInfo("CD456-beta-OXCAO" + std::string(kToken) + ".html");
        const QJsonObject empty = Parse(none).object();
        QVERIFY(empty.value("data").isArray() && empty.value("data").toArray().isEmpty());
    }

    void courierInfoErrors_data()
    {
        QTest::addColumn<std::string>("path");
        QTest::addColumn<QString>("status");
        const std::string good = std::string("-OXCAO") + kToken + ".html";
        QTest::newRow("wrong courier") << "AB123-beta" + good << "201";
        QTest::newRow("unknown number") << "ZZ999-alpha" + good << "201";
        QTest::newRow("12-digit token") << std::string("AB123-alpha-OXCAO171600000012.html") << "400";
        QTest::newRow("letter in token") << std::string("AB123-alpha-OXCAO171600000a123.html") << "400";
        QTest::newRow("no token marker") << std::string("AB123-alpha.html") << "400";
        QTest::newRow("no courier") << "AB123" + good << "400";
    }

    void courierInfoErrors()
    {
        QFETCH(std::string, path);
        QFETCH(QString, status);
        const QJsonObject reply = Parse(CourierInfo(path)).object();
        QCOMPARE(reply.value("status").toString(), status);
        QVERIFY(!reply.value("message").toString().isEmpty());
        QVERIFY(!reply.contains("data"));
    }

    void gzip_data()
    {
        QTest::addColumn<std::string>("acceptEncoding");
        QTest::addColumn<bool>("compressed");
        QTest::newRow("browser line") << std::string("gzip,deflate,sdch") << true;
        QTest::newRow("gzip alone") << std::string("gzip") << true;
        QTest::newRow("identity") << std::string("identity") << false;
    }

    void gzip()
    {
        QFETCH(std::string, acceptEncoding);
        QFETCH(bool, compressed);
        httplib::Headers headers = Admitted(Visit());
        headers.erase("Accept-Encoding");
        headers.emplace("Accept-Encoding", acceptEncoding);
        for (const char* path : {"/", "/index-ajaxselectinfo-AB123.html"}) {
            client->set_decompress(false);
            const auto raw = client->Get(path, headers);
            client->set_decompress(true);
            const auto decoded = client->Get(path, headers);
            QVERIFY(raw && decoded);
            QCOMPARE(raw->get_header_value("Content-Encoding") == "gzip", compressed);
            QCOMPARE(raw->body.rfind("\x1f\x8b", 0) == 0, compressed);
            QVERIFY(decoded->body.find(path[1] ? "alpha" : "<html") != std::string::npos);
        }
    }

    // What the worker does with libcurl: cookie engine, its own sorted Cookie line beside the
    // engine's, the browser-like Accept lines, gzip, and an empty-bodied POST.
    void libcurlClientSequence()
    {
        CURL* curl = curl_easy_init();
        QVERIFY(curl);
        std::string body;
        curl_easy_setopt(curl, CURLOPT_URL, base.c_str());
        curl_easy_setopt(curl, CURLOPT_COOKIEFILE, "");
        curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, CollectBody);
        curl_easy_setopt(curl, CURLOPT_WRITEDATA, &body);
        QCOMPARE(curl_easy_perform(curl), CURLE_OK);
        curl_slist* cookies = nullptr;
        curl_easy_getinfo(curl, CURLINFO_COOKIELIST, &cookies);
        std::map<std::string, std::string> sorted;
        for (curl_slist* item = cookies; item; item = item->next) {
            const QList<QByteArray> fields = QByteArray(item->data).split('\t');
            QCOMPARE(fields.size(), 7);
            sorted[fields[5].toStdString()] = fields[6].toStdString();
        }
        curl_slist_free_all(cookies);
        std::string cookieLine = "Cookie: ";
        for (const auto& cookie : sorted)
            cookieLine += cookie.first + "=" + cookie.second + ";";

        const std::string referer = "Referer: " + base;
        curl_slist* headers = nullptr;
        for (const char* line :
            {"Accept:text/html,application/xhtml+xml,application/xml;q=0.9,*/*;q=0.8",
                "Accept-Charset:GBK,utf-8;q=0.7,*;q=0.3", "Accept-Language:zh-CN,zh;q=0.8",
                "Accept-Encoding:gzip,deflate,sdch", referer.c_str(), cookieLine.c_str()})
            headers = curl_slist_append(headers, line);
        const std::string url
            = base + "index-ajaxselectcourierinfo-AB123-alpha-OXCAO" + kToken + ".html";
        body.clear();
        curl_easy_reset(curl); // as the client does before every POST; the cookies stay
        curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, CollectBody);
        curl_easy_setopt(curl, CURLOPT_WRITEDATA, &body);
        curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
        curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers);
        curl_easy_setopt(curl, CURLOPT_ACCEPT_ENCODING, "gzip");
        curl_easy_setopt(curl, CURLOPT_POSTFIELDS, "");
        curl_easy_setopt(curl, CURLOPT_FORBID_REUSE, 1L);
        QCOMPARE(curl_easy_perform(curl), CURLE_OK);
        curl_slist_free_all(headers);
        curl_easy_cleanup(curl);
        const QJsonObject reply = Parse(body).object();
        QCOMPARE(reply.value("nu").toString(), QString("AB123"));
        QCOMPARE(reply.value("data").toArray().size(), 2);
    }

    void delay()
    {
        CSiteServer slow(TestSet(), 150);
        httplib::Client slowClient("127.0.0.1", slow.Start());
        QElapsedTimer timer;
        timer.start();
        QVERIFY(slowClient.Get("/"));
        QVERIFY(timer.elapsed() >= 150);

        // A pending pause must not hold up stopping (the pause here would last an hour).
        CSiteServer silent(TestSet(), 3600000);
        httplib::Client silentClient("127.0.0.1", silent.Start());
        std::thread request([&] { silentClient.Get("/"); });
        QTest::qWait(200);
        silent.Stop();
        request.join();
    }
};

int RunParcelSetTests(int argc, char* argv[]);

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    TestSite site;
    const int siteFailures = QTest::qExec(&site, argc, argv);
    return siteFailures + RunParcelSetTests(argc, argv);
}
#include "tst_site.moc"
