#include "net/pagefetcher.h"
#include "tests/net/testserver.h"
#include "tests/worker/workerharness.h"
#include "worker/catchthread.h"

#include <QtTest>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

using Request = CTestServer::Request;
using Response = CTestServer::Response;

// Long enough for any healthy loopback reply, even under valgrind; short enough that a
// site that never finishes costs the suite seconds, not minutes.
constexpr long kQuickTimeoutSeconds = 2;

// The number the request is about, from either of the two lookup addresses.
std::string NumberOf(const std::string& target)
{
    for (const char* prefix : {kDetectionPrefix, kInfoPrefix}) {
        if (StartsWith(target, prefix)) {
            const std::string rest = target.substr(std::strlen(prefix));
            return rest.substr(0, std::min(rest.find('-'), rest.find(".html")));
        }
    }
    return std::string();
}

// The ways a real site goes wrong, each as the reply to one request.
enum class Fault {
    Refused,
    StallHalfway,
    ResetMidBody,
    EndlessBody,
    RedirectLoop,
    Drip,
    Html,
    FiveMegabytes,
};

// A reply of size bytes that is still a usable reply of its kind.
std::string PaddedJson(const std::string& head, const std::string& tail, size_t size)
{
    const std::string open = head + ",\"pad\":\"";
    const std::string close = "\"" + tail;
    return open + std::string(size - open.size() - close.size(), 'x') + close;
}

Response FaultyReply(Fault fault, const Request& request, bool detection, int unusedPort)
{
    const std::string good =
        detection ? "[{\"exname\":\"kd\"}]" : InfoReply(NumberOf(request.target));
    Response response = Json(good);
    switch (fault) {
    case Fault::Refused:
        response.status = 302;
        response.headerLines = {"Location: http://127.0.0.1:" + std::to_string(unusedPort) + "/"};
        response.body.clear();
        break;
    case Fault::StallHalfway:
        response.cut = CTestServer::Cut::Stall;
        response.cutAfterBytes = CTestServer::Serialise(response, false).size() / 2;
        break;
    case Fault::ResetMidBody:
        response.body = std::string(4096, '[');
        response.cut = CTestServer::Cut::Reset;
        response.cutAfterBytes = 1000;
        break;
    case Fault::EndlessBody:
        // No length and no end: only the client can stop it.
        response.raw = "HTTP/1.1 200 OK\r\nContent-Type: application/json\r\n"
                       "Connection: close\r\n\r\n"
            + good.substr(0, good.size() - 1);
        response.endless = true;
        break;
    case Fault::RedirectLoop:
        response.status = 302;
        response.headerLines = {"Location: " + request.target};
        response.body.clear();
        break;
    case Fault::Drip:
        response.dripMs = 1000;
        break;
    case Fault::Html:
        response.headerLines = {"Content-Type: text/html"};
        response.body = "<html><body><h1>503 Service Temporarily Unavailable</h1></body></html>";
        break;
    case Fault::FiveMegabytes:
        response.body = detection ? PaddedJson("[{\"exname\":\"kd\"", "}]", 5u << 20)
                                  : PaddedJson("{\"nu\":\"BAD\",\"data\":[]", "}", 5u << 20);
        break;
    }
    return response;
}

// The lookup thread with time-outs short enough for a test.
class QuickThread : public CCatchThread {
public:
    explicit QuickThread(const std::string& base) : CCatchThread(nullptr)
    {
        SetSiteBaseAddress(base);
    }

    // The thread's fetcher; only to be read while the thread is idle.
    CPageFetcher* Fetcher() const { return fetcher.load(); }

protected:
    void FetcherReady(CPageFetcher& ready) override
    {
        ready.options.totalTimeout = kQuickTimeoutSeconds;
        ready.options.connectTimeout = kQuickTimeoutSeconds;
        fetcher.store(&ready);
    }

private:
    std::atomic<CPageFetcher*> fetcher{nullptr};
};

using ThreadPtr = OwnedThread<QuickThread>;

} // namespace

Q_DECLARE_METATYPE(Fault)

class TestFaults : public QObject {
    Q_OBJECT

private slots:
    void redirectLoopEndsEarly_data();
    void redirectLoopEndsEarly();
    void batchOutlivesFaultyReply_data();
    void batchOutlivesFaultyReply();
    void batchAgainstRefusingSite();
};

void TestFaults::redirectLoopEndsEarly_data()
{
    QTest::addColumn<int>("operation");
    QTest::newRow("get") << 0;
    QTest::newRow("post") << 1;
    QTest::newRow("cookie pre-request of get") << 2;
}

void TestFaults::redirectLoopEndsEarly()
{
    QFETCH(int, operation);

    CTestServer server;
    server.SetHandler([](const Request& request) {
        Response response;
        if (request.target == "/loop") {
            response.status = 302;
            response.headerLines = {"Location: /loop"};
        } else {
            response.body = "page";
        }
        return response;
    });
    QVERIFY(server.Start());

    CPageFetcher fetcher;
    fetcher.InitHandle();
    // Unbounded, a loop runs until this time-out; bounded, it ends long before.
    fetcher.options.totalTimeout = 10;
    std::string reply;
    bool ok = true;
    switch (operation) {
    case 0: ok = fetcher.GetPage(reply, server.Url("/loop"), 10); break;
    case 1: ok = fetcher.PostPage(reply, server.Url("/loop"), "a=1", 10); break;
    default:
        fetcher.options.primeCookies = true;
        fetcher.options.primeUrl = server.Url("/loop");
        ok = fetcher.GetPage(reply, server.Url("/page"), 10);
        break;
    }

    size_t loops = 0;
    for (const Request& request : server.Requests())
        loops += request.target == "/loop" ? 1 : 0;
    // The first request and at most ten redirects, as browsers allow.
    QVERIFY2(loops >= 2 && loops <= 11, std::to_string(loops).c_str());
    if (operation == 2) {
        QVERIFY(ok);
        QCOMPARE(reply, std::string("page"));
    } else {
        QVERIFY(!ok);
        QCOMPARE(fetcher.curlCode, int(CURLE_TOO_MANY_REDIRECTS));
        QVERIFY2(StartsWith(reply, "Down page Failed Error Code is 302"), reply.c_str());
    }
    server.Stop();
}

void TestFaults::batchOutlivesFaultyReply_data()
{
    QTest::addColumn<Fault>("fault");
    QTest::addColumn<bool>("inDetection"); // else in the courier-info reply
    QTest::addColumn<QString>("badResult"); // null: none; else the start of the text emitted
    QTest::addColumn<int>("badResultSize"); // -1: any

    const QString failure = QStringLiteral("Down page Failed Error Code is ");
    const QString info = QString::fromStdString(InfoReply("BAD"));
    const struct {
        const char* name;
        Fault fault;
    } faults[] = {
        {"refused connection", Fault::Refused},
        {"stall halfway", Fault::StallHalfway},
        {"reset mid-body", Fault::ResetMidBody},
        {"body that never ends", Fault::EndlessBody},
        {"redirect loop", Fault::RedirectLoop},
        {"drip of a byte a second", Fault::Drip},
        {"HTML instead of JSON", Fault::Html},
    };
    for (const auto& row : faults) {
        QTest::addRow("detection: %s", row.name) << row.fault << true << QString() << -1;
        const QString emitted = row.fault == Fault::Html ? QStringLiteral("<html>") : failure;
        QTest::addRow("courier info: %s", row.name) << row.fault << false << emitted << -1;
    }
    // Big but sound: nothing of it may be lost.
    QTest::newRow("detection: 5 MB reply") << Fault::FiveMegabytes << true << info
                                           << info.size();
    QTest::newRow("courier info: 5 MB reply")
        << Fault::FiveMegabytes << false
        << QStringLiteral("{\"nu\":\"BAD\",\"data\":[],\"pad\":\"x") << (5 << 20);
}

void TestFaults::batchOutlivesFaultyReply()
{
    QFETCH(Fault, fault);
    QFETCH(bool, inDetection);
    QFETCH(QString, badResult);
    QFETCH(int, badResultSize);

    CTestServer site;
    const int unusedPort = CTestServer::UnusedPort();
    site.SetHandler([=](const Request& request) {
        if (request.target == "/") {
            Response home;
            home.headerLines = {"Set-Cookie: s=1; path=/"};
            home.body = "<html>home</html>";
            return home;
        }
        const bool detection = StartsWith(request.target, kDetectionPrefix);
        if (NumberOf(request.target) == "BAD" && detection == inDetection)
            return FaultyReply(fault, request, detection, unusedPort);
        if (detection)
            return Json("[{\"exname\":\"kd\"}]");
        if (StartsWith(request.target, kInfoPrefix))
            return Json(InfoReply(NumberOf(request.target)));
        Response missing;
        missing.status = 404;
        return missing;
    });
    QVERIFY(site.Start());
    ThreadPtr thread(new QuickThread(site.Url("/")));
    auto results = std::make_unique<ResultCollector>(*thread);
    thread->Launch();
    QVERIFY(RunOneBatch(*thread, QStringLiteral("GOOD1\nBAD\nGOOD2"), 60000));
    // The thread is still sound: another batch after the fault runs as usual.
    QVERIFY(RunOneBatch(*thread, QStringLiteral("GOOD3"), 20000));
    thread->SetCommand(kCatchQuit);
    QVERIFY(thread->wait(10000));
    site.Stop();

    const QStringList texts = results->Texts();
    QCOMPARE(texts.size(), badResult.isNull() ? 3 : 4);
    QCOMPARE(texts.at(0), QString::fromStdString(InfoReply("GOOD1")));
    if (!badResult.isNull()) {
        QVERIFY2(texts.at(1).startsWith(badResult), qPrintable(texts.at(1).left(100)));
        if (badResultSize >= 0)
            QCOMPARE(texts.at(1).size(), badResultSize);
    }
    QCOMPARE(texts.at(texts.size() - 2), QString::fromStdString(InfoReply("GOOD2")));
    QCOMPARE(texts.last(), QString::fromStdString(InfoReply("GOOD3")));

    // The faulty number costs a bounded number of requests: no retries, no endless loop.
    size_t bad = 0;
    for (const Request& request : site.Requests())
        bad += NumberOf(request.target) == "BAD" ? 1 : 0;
    QVERIFY2(bad >= 1 && bad <= 12, std::to_string(bad).c_str());
}

void TestFaults::batchAgainstRefusingSite()
{
    ThreadPtr thread(new QuickThread(
        "http://127.0.0.1:" + std::to_string(CTestServer::UnusedPort()) + "/"));
    auto results = std::make_unique<ResultCollector>(*thread);
    thread->Launch();
    QVERIFY(RunOneBatch(*thread, QStringLiteral("N1\nN2\nN3"), 20000));

    // Every number was still tried, the last one included.
    CPageFetcher* fetcher = thread->Fetcher();
    QVERIFY(fetcher);
    QVERIFY2(StartsWith(fetcher->effectiveUrl, "http://127.0.0.1:")
                 && fetcher->effectiveUrl.find("/index-ajaxselectinfo-N3.html")
                     != std::string::npos,
             fetcher->effectiveUrl.c_str());
    QCOMPARE(fetcher->curlCode, int(CURLE_COULDNT_CONNECT));
    QVERIFY(results->Texts().isEmpty());
}

int RunFaultTests(int argc, char** argv)
{
    TestFaults test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_faults.moc"
