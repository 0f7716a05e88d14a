#include "site/parcelset.h"
#include "site/trackingsite.h"
#include "tests/net/testserver.h"
#include "tests/worker/workerharness.h"
#include "worker/catchthread.h"

#include <QtTest>

#include <QElapsedTimer>
#include <QRegularExpression>

#include <atomic>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

using Request = CTestServer::Request;
using Response = CTestServer::Response;

int CountLines(const Request& request, const std::string& line)
{
    int count = 0;
    for (const std::string& sent : request.headerLines)
        count += sent == line ? 1 : 0;
    return count;
}

int CountNamed(const Request& request, const char* name)
{
    int count = 0;
    const std::string prefix = std::string(name) + ":";
    for (const std::string& sent : request.headerLines)
        count += QByteArray::fromStdString(sent).toLower().startsWith(
                     QByteArray(prefix.c_str()).toLower())
            ? 1
            : 0;
    return count;
}

// The site's cookies as one request carries them, sorted; none without a Cookie line.
QStringList SentCookies(const Request& request)
{
    QStringList cookies =
        QString::fromStdString(request.HeaderValue("Cookie")).split(QStringLiteral("; "));
    cookies.removeAll(QString());
    cookies.sort();
    return cookies;
}

// A site with three cookies set out of order (one of them empty), one courier for every
// number, and a reply that names the number; tests swap the detection or courier-info reply
// where they need another, and can have the home page fail a number of times first.
struct ScriptedSite {
    CTestServer server;
    std::string detectionBody = "[{\"exname\":\"kd\"}]";
    std::string infoBody; // empty: a reply with one event
    std::atomic<int> homeFailuresLeft{0};
    Response failedHome;

    ScriptedSite()
    {
        server.SetHandler([this](const Request& request) {
            if (request.target == "/") {
                if (homeFailuresLeft.fetch_sub(1) > 0)
                    return failedHome;
                Response home;
                home.headerLines = {"Set-Cookie: b=2; path=/", "Set-Cookie: a=1; path=/",
                                    "Set-Cookie: e=; path=/"};
                home.body = "<html>home</html>";
                return home;
            }
            if (StartsWith(request.target, kDetectionPrefix))
                return Json(detectionBody);
            if (StartsWith(request.target, kInfoPrefix)) {
                const std::string rest = request.target.substr(std::strlen(kInfoPrefix));
                return Json(infoBody.empty() ? InfoReply(rest.substr(0, rest.find('-')))
                                             : infoBody);
            }
            Response missing;
            missing.status = 404;
            return missing;
        });
    }

    bool Start() { return server.Start(); }
    std::string Base() const { return server.Url("/"); }
};

using ThreadPtr = OwnedThread<CCatchThread>;
using Outcome = CCatchThread::LookupOutcome;

} // namespace

Q_DECLARE_METATYPE(CTestServer::Response)

class TestBatch : public QObject {
    Q_OBJECT

private slots:
    void requestSequenceOverThreeBatches();
    void detectionReplies_data();
    void detectionReplies();
    void allEmptyLinesStillBootstrap();
    void batchProgress_data();
    void batchProgress();
    void failedHomePageIsAskedForAgain_data();
    void failedHomePageIsAskedForAgain();
    void quitAbandonsSilentSite();
    void awkwardNumbersDoNotStopTheBatch_data();
    void awkwardNumbersDoNotStopTheBatch();
    void misbehavingSiteDropsOnlyItsNumber_data();
    void misbehavingSiteDropsOnlyItsNumber();

private:
    ThreadPtr NewThread(const std::string& base)
    {
        ThreadPtr thread(new CCatchThread(nullptr));
        thread->SetSiteBaseAddress(base);
        return thread;
    }

    static void Stop(CCatchThread& thread)
    {
        thread.SetCommand(kCatchQuit);
        QVERIFY(thread.wait(10000));
    }
};

void TestBatch::requestSequenceOverThreeBatches()
{
    ScriptedSite site;
    QVERIFY(site.Start());
    auto thread = NewThread(site.Base());
    ResultCollector results(*thread);
    thread->Launch();

    const std::string referer = "Referer: " + site.Base();
    const QStringList siteCookies = {QStringLiteral("a=1"), QStringLiteral("b=2"),
                                     QStringLiteral("e=")};
    const QRegularExpression infoPath(
        QStringLiteral("^/index-ajaxselectcourierinfo-N1-kd-OXCAO\\d{13}\\.html$"));

    for (int batch = 1; batch <= 3; ++batch) {
        site.server.ClearRequests();
        QVERIFY(RunOneBatch(*thread, QStringLiteral("N1\n\nN2")));
        const std::vector<Request> requests = site.server.Requests();

        size_t at = 0;
        if (batch == 1) {
            QCOMPARE(requests[0].method, std::string("GET"));
            QCOMPARE(requests[0].target, std::string("/"));
            QCOMPARE(CountNamed(requests[0], "Referer"), 0);
            QCOMPARE(CountLines(requests[0], "Accept-Language:zh-CN,zh;q=0.8"), 1);
            at = 1;
        }
        QCOMPARE(requests.size(), at + 4);
        QCOMPARE(requests[at].method, std::string("GET"));
        QCOMPARE(requests[at].target, std::string("/index-ajaxselectinfo-N1.html"));
        QCOMPARE(requests[at + 1].method, std::string("POST"));
        QVERIFY2(infoPath.match(QString::fromStdString(requests[at + 1].target)).hasMatch(),
                 requests[at + 1].target.c_str());
        QCOMPARE(requests[at + 1].body, std::string());
        QCOMPARE(requests[at + 1].HeaderValue("Content-Length"), std::string("0"));
        QCOMPARE(requests[at + 2].target, std::string("/index-ajaxselectinfo-N2.html"));

        // Every request after the home page: one Referer line and one Cookie line holding
        // every cookie the home page set, in every batch alike.
        for (size_t i = at; i < requests.size(); ++i) {
            QCOMPARE(CountNamed(requests[i], "Referer"), 1);
            QCOMPARE(CountLines(requests[i], referer), 1);
            QCOMPARE(CountNamed(requests[i], "Cookie"), 1);
            QCOMPARE(SentCookies(requests[i]), siteCookies);
        }
    }
    QVERIFY(results.WaitFor(6, 5000));
    QCOMPARE(results.Texts().at(0), QString::fromStdString(InfoReply("N1")));
    QCOMPARE(results.Texts().at(5), QString::fromStdString(InfoReply("N2")));
    Stop(*thread);
}

void TestBatch::detectionReplies_data()
{
    QTest::addColumn<QByteArray>("detection");
    QTest::addColumn<bool>("infoRequested");
    QTest::addColumn<QString>("emitted"); // null: nothing emitted; else the info reply sent
    QTest::addColumn<Outcome>("outcome");

    const QString info = QString::fromStdString(InfoReply("N1"));
    QTest::newRow("array of courier objects") << QByteArray("[{\"exname\":\"kd\"},{}]") << true
                                              << info << Outcome::Found;
    QTest::newRow("object under key 0") << QByteArray("{\"0\":{\"exname\":\"kd\"}}") << true
                                        << info << Outcome::Found;
    QTest::newRow("empty array") << QByteArray("[]") << false << QString() << Outcome::NumberUnknown;
    QTest::newRow("empty object") << QByteArray("{}") << false << QString() << Outcome::NumberUnknown;
    QTest::newRow("object without key 0") << QByteArray("{\"1\":{\"exname\":\"kd\"}}") << false
                                          << QString() << Outcome::NumberUnknown;
    QTest::newRow("not JSON") << QByteArray("<html>busy</html>") << false << QString()
                              << Outcome::ReplyUnreadable;
    QTest::newRow("empty exname emits the detection reply")
        << QByteArray("[{\"exname\":\"\"}]") << false << QStringLiteral("[{\"exname\":\"\"}]")
        << Outcome::NumberUnknown;
    QTest::newRow("exname not a string emits the detection reply")
        << QByteArray("[{\"exname\":7}]") << false << QStringLiteral("[{\"exname\":7}]")
        << Outcome::NumberUnknown;
    QTest::newRow("first element a number emits the detection reply")
        << QByteArray("[5]") << false << QStringLiteral("[5]") << Outcome::NumberUnknown;
    for (const char* reply : {R"({"nu":"N1","data":[]})", R"({"nu":"N1","status":"201"})",
                              R"({"nu":"N1","data":{"0":{"context":"c"}}})",
                              R"([{"nu":"N1","data":[{"context":"c"}]}])", "<html>验证</html>"})
        QTest::addRow("courier info %s", reply)
            << QByteArray("[{\"exname\":\"kd\"}]") << true << QString::fromUtf8(reply)
            << (reply[0] == '{' ? Outcome::NoEvents : Outcome::ReplyUnreadable);
}

void TestBatch::detectionReplies()
{
    QFETCH(QByteArray, detection);
    QFETCH(bool, infoRequested);
    QFETCH(QString, emitted);
    QFETCH(Outcome, outcome);

    ScriptedSite site;
    site.detectionBody = detection.toStdString();
    if (infoRequested)
        site.infoBody = emitted.toStdString();
    QVERIFY(site.Start());
    auto thread = NewThread(site.Base());
    ResultCollector results(*thread);
    std::atomic<int> lookedUp{-1};
    QObject::connect(thread.get(), &CCatchThread::numberLookedUp, thread.get(),
                     [&](int, Outcome told, const QString&) { lookedUp = int(told); },
                     Qt::DirectConnection);
    thread->Launch();
    QVERIFY(RunOneBatch(*thread, QStringLiteral("N1")));
    Stop(*thread);

    int posts = 0;
    for (const Request& request : site.server.Requests())
        posts += request.method == "POST" ? 1 : 0;
    QCOMPARE(posts, infoRequested ? 1 : 0);
    QCOMPARE(results.Texts(), emitted.isNull() ? QStringList() : QStringList{emitted});
    QCOMPARE(Outcome(lookedUp.load()), outcome);
}

void TestBatch::allEmptyLinesStillBootstrap()
{
    ScriptedSite site;
    QVERIFY(site.Start());
    auto thread = NewThread(site.Base());
    thread->Launch();
    QVERIFY(RunOneBatch(*thread, QStringLiteral("\n\n")));
    QVERIFY(RunOneBatch(*thread, QString()));
    Stop(*thread);

    const std::vector<Request> requests = site.server.Requests();
    QCOMPARE(requests.size(), size_t(1));
    QCOMPARE(requests[0].target, std::string("/"));
}

void TestBatch::batchProgress_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("expected");

    QTest::newRow("results, a number without one, an empty line")
        << QStringLiteral("N1\n\nUNKNOWN\nN2\n")
        << QStringList{"started 3", "result",   "done 0 true", "done 2 false",
                       "result",    "done 3 true", "finished"};
    QStringList many;
    for (int i = 0; i < 21; ++i)
        many << QStringLiteral("N%1").arg(i);
    QTest::newRow("refused") << many.join(QLatin1Char('\n')) << QStringList{"finished"};
}

void TestBatch::batchProgress()
{
    QFETCH(QString, text);
    QFETCH(QStringList, expected);

    ScriptedSite site;
    QVERIFY(site.Start());
    site.server.SetHandler([](const Request& request) {
        if (request.target == "/index-ajaxselectinfo-UNKNOWN.html")
            return Json("[]");
        if (StartsWith(request.target, kDetectionPrefix))
            return Json("[{\"exname\":\"kd\"}]");
        return Json(InfoReply("N"));
    });
    auto thread = NewThread(site.Base());
    std::mutex mutex;
    QStringList seen;
    auto note = [&](const QString& what) {
        std::lock_guard<std::mutex> lock(mutex);
        seen << what;
    };
    QObject::connect(thread.get(), &CCatchThread::batchStarted, thread.get(),
                     [&](int numbers) { note(QStringLiteral("started %1").arg(numbers)); },
                     Qt::DirectConnection);
    QObject::connect(thread.get(), &CCatchThread::notifyResult, thread.get(),
                     [&](const QString&) { note(QStringLiteral("result")); },
                     Qt::DirectConnection);
    QObject::connect(thread.get(), &CCatchThread::numberDone, thread.get(),
                     [&](int line, bool emitted) {
                         note(QStringLiteral("done %1 %2").arg(line).arg(
                             emitted ? QStringLiteral("true") : QStringLiteral("false")));
                     },
                     Qt::DirectConnection);
    QObject::connect(thread.get(), &CCatchThread::batchFinished, thread.get(),
                     [&] { note(QStringLiteral("finished")); }, Qt::DirectConnection);
    thread->Launch();
    QVERIFY(RunOneBatch(*thread, text));
    Stop(*thread);

    std::lock_guard<std::mutex> lock(mutex);
    QCOMPARE(seen, expected);
}

void TestBatch::failedHomePageIsAskedForAgain_data()
{
    QTest::addColumn<Response>("failedHome");

    Response reset;
    reset.cut = CTestServer::Cut::Reset;
    reset.cutAfterBytes = 0;
    QTest::newRow("connection reset") << reset;
    Response unavailable;
    unavailable.status = 503;
    unavailable.headerLines = {"Set-Cookie: stale=1; path=/"};
    unavailable.body = "<html>Service unavailable</html>";
    QTest::newRow("error page") << unavailable;
}

void TestBatch::failedHomePageIsAskedForAgain()
{
    QFETCH(Response, failedHome);

    ScriptedSite site;
    site.failedHome = failedHome;
    site.homeFailuresLeft = 2;
    QVERIFY(site.Start());
    auto thread = NewThread(site.Base());
    thread->Launch();

    auto homeRequests = [&] {
        int count = 0;
        for (const Request& request : site.server.Requests())
            count += request.target == "/" ? 1 : 0;
        return count;
    };
    QVERIFY(RunOneBatch(*thread, QStringLiteral("N1")));
    QVERIFY(RunOneBatch(*thread, QStringLiteral("N1")));
    QCOMPARE(homeRequests(), 2);

    // The site is back: its session begins, and only once.
    site.server.ClearRequests();
    QVERIFY(RunOneBatch(*thread, QStringLiteral("N1")));
    QVERIFY(RunOneBatch(*thread, QStringLiteral("N2")));
    Stop(*thread);
    const std::vector<Request> requests = site.server.Requests();
    QCOMPARE(homeRequests(), 1);
    QCOMPARE(requests.size(), size_t(5));
    for (size_t i = 1; i < requests.size(); ++i) {
        QCOMPARE(CountNamed(requests[i], "Cookie"), 1);
        QCOMPARE(CountNamed(requests[i], "Referer"), 1);
        QVERIFY(SentCookies(requests[i]).contains(QStringLiteral("a=1")));
    }
}

void TestBatch::quitAbandonsSilentSite()
{
    CTestServer silent;
    silent.SetHandler([](const Request&) {
        Response response;
        response.cut = CTestServer::Cut::Stall; // headers never come
        return response;
    });
    QVERIFY(silent.Start());
    auto thread = NewThread(silent.Url("/"));
    thread->Launch();
    thread->StartCatch(QStringLiteral("N1\nN2\nN3"));
    QTRY_VERIFY_WITH_TIMEOUT(!silent.Requests().empty(), 5000);

    // The site's 60-second time-out must not hold up the owner's unbounded wait.
    thread->SetCommand(kCatchQuit);
    QVERIFY(thread->wait(5000));
    QCOMPARE(silent.Requests().size(), size_t(1));
    silent.Stop();
}

void TestBatch::awkwardNumbersDoNotStopTheBatch_data()
{
    QTest::addColumn<QString>("number");

    QTest::newRow("blanks") << QStringLiteral(" QN 1 ");
    QTest::newRow("placeholder") << QStringLiteral("{1}{2}");
    QTest::newRow("slash") << QStringLiteral("../../etc/passwd");
    QTest::newRow("query") << QStringLiteral("1?x=2");
    QTest::newRow("fragment") << QStringLiteral("1#2");
    QTest::newRow("percent") << QStringLiteral("%00%zz");
    QTest::newRow("non-ASCII") << QStringLiteral("快递单号😊");
    QTest::newRow("10,000 characters") << QString(10000, QLatin1Char('7'));
    QTest::newRow("CR at line end") << QStringLiteral("QN7301846259318\r");
}

void TestBatch::awkwardNumbersDoNotStopTheBatch()
{
    QFETCH(QString, number);

    const CParcelSet parcels = BuiltInParcelSet();
    CSiteServer site(parcels);
    QVERIFY(site.Start() > 0);
    auto thread = NewThread(site.BaseAddress());
    ResultCollector results(*thread);
    thread->Launch();

    QVERIFY(RunOneBatch(*thread, number + QStringLiteral("\nJP0082457613")));
    Stop(*thread);
    site.Stop();

    // The awkward number is unknown to the site, so only the good one gives a result.
    const QStringList texts = results.Texts();
    QCOMPARE(texts.size(), 1);
    QVERIFY2(texts.at(0).contains(QStringLiteral("\"nu\":\"JP0082457613\"")),
             qPrintable(texts.at(0).left(200)));
}

void TestBatch::misbehavingSiteDropsOnlyItsNumber_data()
{
    QTest::addColumn<int>("fault");

    QTest::newRow("HTML") << 0;
    QTest::newRow("garbage instead of HTTP") << 1;
    QTest::newRow("empty body, 200") << 2;
    QTest::newRow("empty body, 503") << 3;
    QTest::newRow("connection reset") << 4;
    QTest::newRow("body past the cap") << 5;
}

void TestBatch::misbehavingSiteDropsOnlyItsNumber()
{
    QFETCH(int, fault);

    ScriptedSite site;
    QVERIFY(site.Start());
    site.server.SetHandler([fault](const Request& request) {
        if (request.target == "/index-ajaxselectinfo-BAD.html") {
            Response response;
            switch (fault) {
            case 0: response.body = "<html><body>Service busy</body></html>"; break;
            case 1: response.raw = "\x16\x03garbage"; break;
            case 2: break;
            case 3: response.status = 503; break;
            case 4:
                response.body = std::string(4096, '[');
                response.cut = CTestServer::Cut::Reset;
                response.cutAfterBytes = 1000;
                break;
            default: response.body = std::string(17u << 20, ' '); break;
            }
            return response;
        }
        if (StartsWith(request.target, kDetectionPrefix))
            return Json("[{\"exname\":\"kd\"}]");
        if (StartsWith(request.target, kInfoPrefix))
            return Json(InfoReply("GOOD"));
        return Response();
    });
    auto thread = NewThread(site.Base());
    ResultCollector results(*thread);
    thread->Launch();
    QVERIFY(RunOneBatch(*thread, QStringLiteral("BAD\nGOOD")));
    Stop(*thread);

    QCOMPARE(results.Texts(), QStringList{QString::fromStdString(InfoReply("GOOD"))});
}

int RunBatchTests(int argc, char** argv)
{
    TestBatch test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_batch.moc"
