#include "net/pagefetcher.h"
#include "tests/net/testserver.h"

#include <QtTest>

#include <zlib.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <string>
#include <vector>

using Lines = std::vector<std::string>;
using Response = CTestServer::Response;
Q_DECLARE_METATYPE(std::string)
Q_DECLARE_METATYPE(Lines)
Q_DECLARE_METATYPE(CTestServer::Response)

namespace {


const char kUserAgentLine[] =
    "User-Agent: Mozilla/5.0 (Windows NT 6.1; WOW64) AppleWebKit/537.36 (KHTML, like Gecko) "
    "Chrome/36.0.1985.143 Safari/537.36";
const Lines kFixedLines = {
    "Accept:text/html,application/xhtml+xml,application/xml;q=0.9,*/*;q=0.8",
    "Accept-Charset:GBK,utf-8;q=0.7,*;q=0.3",
    "Accept-Language:zh-CN,zh;q=0.8",
    "Accept-Encoding:gzip,deflate,sdch",
};
// What libcurl sends on its own when the fixed lines are not in the list.
const Lines kLibcurlAcceptLines = {"Accept: */*", "Accept-Encoding: gzip"};

Lines Join(std::initializer_list<Lines> parts)
{
    Lines all;
    for (const Lines& part : parts)
        all.insert(all.end(), part.begin(), part.end());
    return all;
}

QByteArray Bytes(const std::string& text) { return QByteArray::fromStdString(text); }

QByteArrayList ByteLines(const Lines& lines)
{
    QByteArrayList list;
    for (const std::string& line : lines)
        list << Bytes(line);
    return list;
}

Response Reply(int status, const std::string& body, const Lines& headerLines = {})
{
    Response response;
    response.status = status;
    response.body = body;
    response.headerLines = headerLines;
    return response;
}

// The reply is sent up to bodyBytes bytes into its body and then ends as cut says.
Response CutReply(Response response, CTestServer::Cut cut, size_t bodyBytes)
{
    response.cut = cut;
    response.cutAfterBytes =
        CTestServer::Serialise(response, false).find("\r\n\r\n") + 4 + bodyBytes;
    return response;
}

// windowBits 31 gives gzip, 15 the zlib format that HTTP calls deflate.
std::string Compress(const std::string& text, int windowBits)
{
    z_stream stream{};
    deflateInit2(&stream, Z_DEFAULT_COMPRESSION, Z_DEFLATED, windowBits, 8, Z_DEFAULT_STRATEGY);
    std::string packed(deflateBound(&stream, text.size()), '\0');
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(text.data()));
    stream.avail_in = static_cast<uInt>(text.size());
    stream.next_out = reinterpret_cast<Bytef*>(&packed[0]);
    stream.avail_out = static_cast<uInt>(packed.size());
    deflate(&stream, Z_FINISH);
    packed.resize(stream.total_out);
    deflateEnd(&stream);
    return packed;
}

// Short time-outs everywhere: a fault must fail a test, not stall the run for a minute.
std::unique_ptr<CPageFetcher> NewFetcher()
{
    std::unique_ptr<CPageFetcher> fetcher(new CPageFetcher);
    fetcher->InitHandle();
    fetcher->options.totalTimeout = 5;
    fetcher->options.connectTimeout = 5;
    return fetcher;
}

bool Fetch(CPageFetcher& fetcher, const std::string& op, std::string& reply,
           const std::string& url, const std::string& postFields = std::string())
{
    return op == "post" ? fetcher.PostPage(reply, url, postFields, 10)
                        : fetcher.GetPage(reply, url, 10);
}

QByteArrayList SortedCookieLines(const std::string& cookieList)
{
    QByteArrayList lines = Bytes(cookieList).split('\n');
    lines.removeLast(); // after the final line's LF
    for (QByteArray& line : lines) {
        if (line.endsWith('\r'))
            line.chop(1);
        else
            line.prepend("NO CR: ");
    }
    std::sort(lines.begin(), lines.end());
    return lines;
}

} // namespace

class TestPageFetcher : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void requestHeaderLines_data();
    void requestHeaderLines();
    void postSendsFieldsAsBody_data();
    void postSendsFieldsAsBody();
    void postFieldsOutliveTheCall();
    void replies_data();
    void replies();
    void transferFailures_data();
    void transferFailures();
    void nullHandleFails();
    void bodyCap_data();
    void bodyCap();
    void callbacksKeepBytesBeforeZero();
    void wantHeadersPutsHeadersBeforeBody();
    void redirects_data();
    void redirects();
    void cookieList_data();
    void cookieList();
    void preRequestFeedsCookies();
    void tlsVerification_data();
    void tlsVerification();
    void tlsSkipDoesNotCarryOver();
    void timeoutAfterPartialBodyFails();
    void abortCheckEndsTransfer_data();
    void abortCheckEndsTransfer();

private:
    std::unique_ptr<CTestServer> server;
};

void TestPageFetcher::init()
{
    server.reset(new CTestServer);
    QVERIFY(server->Start());
}

void TestPageFetcher::cleanup()
{
    server.reset();
}

void TestPageFetcher::requestHeaderLines_data()
{
    QTest::addColumn<std::string>("op");
    QTest::addColumn<Lines>("headerLines");
    QTest::addColumn<std::string>("extraHeaderLine");
    QTest::addColumn<std::string>("lastHeaderLine");
    QTest::addColumn<Lines>("expected"); // after Host and User-Agent

    const Lines refererAndCookie = {"Referer: http://site.test/", "Cookie: sid=7"};
    const Lines postTail = {"Content-Length: 0", "Content-Type: application/x-www-form-urlencoded"};

    QTest::newRow("get, defaults: the fixed lines")
        << std::string("get") << Lines{} << std::string() << std::string() << kFixedLines;
    QTest::newRow("get, own lines replace the fixed lines")
        << std::string("get") << refererAndCookie << std::string() << std::string()
        << Join({kLibcurlAcceptLines, refererAndCookie});
    QTest::newRow("get, one empty entry: no custom line at all")
        << std::string("get") << Lines{""} << std::string() << std::string()
        << kLibcurlAcceptLines;
    QTest::newRow("get, extra and last lines follow the own lines")
        << std::string("get") << Lines{"Referer: r", ""} << std::string("X-Extra: 1")
        << std::string("X-Last: 2")
        << Join({kLibcurlAcceptLines, {"Referer: r", "X-Extra: 1", "X-Last: 2"}});
    QTest::newRow("get, extra and last lines follow the fixed lines")
        << std::string("get") << Lines{} << std::string("X-Extra: 1") << std::string("X-Last: 2")
        << Join({kFixedLines, {"X-Extra: 1", "X-Last: 2"}});
    QTest::newRow("post, defaults: the fixed lines")
        << std::string("post") << Lines{} << std::string() << std::string()
        << Join({kFixedLines, postTail});
    QTest::newRow("post, own lines follow the fixed lines")
        << std::string("post") << refererAndCookie << std::string() << std::string()
        << Join({kFixedLines, refererAndCookie, postTail});
    QTest::newRow("post, an empty entry sends nothing")
        << std::string("post") << Lines{""} << std::string() << std::string()
        << Join({kFixedLines, postTail});
    QTest::newRow("post, extra and last lines come last")
        << std::string("post") << Lines{"Referer: r"} << std::string("X-Extra: 1")
        << std::string("X-Last: 2")
        << Join({kFixedLines, {"Referer: r", "X-Extra: 1", "X-Last: 2"}, postTail});
}

void TestPageFetcher::requestHeaderLines()
{
    QFETCH(std::string, op);
    QFETCH(Lines, headerLines);
    QFETCH(std::string, extraHeaderLine);
    QFETCH(std::string, lastHeaderLine);
    QFETCH(Lines, expected);

    auto fetcher = NewFetcher();
    fetcher->options.headerLines = headerLines;
    fetcher->options.extraHeaderLine = extraHeaderLine;
    fetcher->options.lastHeaderLine = lastHeaderLine;
    std::string reply;
    Fetch(*fetcher, op, reply, server->Url("/page?q=1"));

    const auto requests = server->Requests();
    QCOMPARE(int(requests.size()), 1);
    QCOMPARE(Bytes(requests[0].method), QByteArray(op == "post" ? "POST" : "GET"));
    QCOMPARE(Bytes(requests[0].target), QByteArray("/page?q=1"));
    const Lines all = Join({{"Host: 127.0.0.1:" + std::to_string(server->Port()), kUserAgentLine},
                            expected});
    QCOMPARE(ByteLines(requests[0].headerLines), ByteLines(all));
    QCOMPARE(fetcher->options.headerLines, headerLines);
}

void TestPageFetcher::postSendsFieldsAsBody_data()
{
    QTest::addColumn<std::string>("postFields");
    QTest::newRow("empty fields still make a POST") << std::string();
    QTest::newRow("form fields") << std::string("nu=YT123&exname=%E4%B8%AD");
}

void TestPageFetcher::postSendsFieldsAsBody()
{
    QFETCH(std::string, postFields);
    server->SetHandler([](const CTestServer::Request&) { return Reply(200, "done"); });
    auto fetcher = NewFetcher();
    std::string reply;
    QVERIFY(fetcher->PostPage(reply, server->Url("/post"), postFields, 10));
    QCOMPARE(Bytes(reply), QByteArray("done"));

    const auto requests = server->Requests();
    QCOMPARE(int(requests.size()), 1);
    QCOMPARE(Bytes(requests[0].method), QByteArray("POST"));
    QCOMPARE(Bytes(requests[0].body), Bytes(postFields));
    QCOMPARE(Bytes(requests[0].HeaderValue("Content-Length")),
             QByteArray::number(int(postFields.size())));
}

void TestPageFetcher::postFieldsOutliveTheCall()
{
    // Without a reset the handle keeps its POST options for the next GetPage; the fields it
    // sends again must not be read from the caller's text, which is gone by then.
    server->SetHandler([](const CTestServer::Request&) { return Reply(200, "done"); });
    auto fetcher = NewFetcher();
    fetcher->options.resetBeforeGet = false;
    std::string reply;
    {
        auto fields = std::make_unique<std::string>("nu=YT123");
        QVERIFY(fetcher->PostPage(reply, server->Url("/post"), *fields, 10));
        fields->assign(fields->size(), 'X');
    }
    QVERIFY(fetcher->GetPage(reply, server->Url("/next"), 10));

    const auto requests = server->Requests();
    QCOMPARE(int(requests.size()), 2);
    QCOMPARE(Bytes(requests[1].body), QByteArray("nu=YT123"));
}

void TestPageFetcher::replies_data()
{
    QTest::addColumn<std::string>("op");
    QTest::addColumn<Response>("response");
    QTest::addColumn<bool>("expectedResult");
    QTest::addColumn<std::string>("expectedReply");
    QTest::addColumn<int>("expectedCurlCode");
    QTest::addColumn<long>("expectedResponseCode");

    const std::string page = "<html>\xe4\xb8\xad page</html>";
    const Lines gzip = {"Content-Encoding: gzip"};
    const Lines deflate = {"Content-Encoding: deflate"};
    using Cut = CTestServer::Cut;

    for (const std::string op : {"get", "post"}) {
        const bool get = op == "get";
        auto row = [&op](const char* name) -> QTestData& {
            return QTest::newRow((op + ", " + name).c_str()) << op;
        };
        row("200 with a body") << Reply(200, page) << true << page << 0 << 200L;
        row("200 with an empty body") << Reply(200, "") << true << std::string() << 0 << 200L;
        row("404 with an empty body")
            << Reply(404, "") << false
            << std::string(get ? "Down page Failed Error Code is 404=No error"
                               : "Down page Failed Error Code is 404")
            << 0 << 404L;
        row("500 with a body") << Reply(500, "oops") << true << std::string("oops") << 0 << 500L;
        row("gzip body is decoded")
            << Reply(200, Compress(page, 31), gzip) << true << page << 0 << 200L;
        row("deflate body is decoded")
            << Reply(200, Compress(page, 15), deflate) << true << page << 0 << 200L;
        row("body cut short")
            << CutReply(Reply(200, "0123456789"), Cut::Close, 4) << false
            << std::string(get ? "Down page Failed Error Code is 200=Transferred a partial file"
                               : "Down page Failed Error Code is 200")
            << int(CURLE_PARTIAL_FILE) << 200L;
        row("connection reset mid-body")
            << CutReply(Reply(200, "0123456789"), Cut::Reset, 4) << false
            << std::string(get ? "Down page Failed Error Code is 200=Failure when receiving data "
                                 "from the peer"
                               : "Down page Failed Error Code is 200")
            << int(CURLE_RECV_ERROR) << 200L;
        Response nothing;
        nothing.cut = Cut::Close;
        row("connection closed without a reply")
            << nothing << false
            << std::string(get ? "Down page Failed Error Code is 0=Server returned nothing (no "
                                 "headers, no data)"
                               : "Down page Failed Error Code is 0")
            << int(CURLE_GOT_NOTHING) << 0L;
        Response garbage;
        garbage.raw = "this is no reply at all\r\n\r\n";
        row("garbage instead of HTTP") // libcurl refuses HTTP/0.9
            << garbage << false
            << std::string(get ? "Down page Failed Error Code is 0=Unsupported protocol"
                               : "Down page Failed Error Code is 0")
            << int(CURLE_UNSUPPORTED_PROTOCOL) << 0L;
    }
    QTest::newRow("get, a zero byte ends the chunk")
        << std::string("get") << Reply(200, std::string("ab\0cd", 5)) << true
        << std::string("ab") << 0 << 200L;
}

void TestPageFetcher::replies()
{
    QFETCH(std::string, op);
    QFETCH(Response, response);
    QFETCH(bool, expectedResult);
    QFETCH(std::string, expectedReply);
    QFETCH(int, expectedCurlCode);
    QFETCH(long, expectedResponseCode);

    if (response.cut == CTestServer::Cut::Reset && !CTestServer::ResetsReachClients())
        QSKIP("Wine reports a reset connection to Windows programs as an orderly close");
    server->SetHandler([response](const CTestServer::Request&) { return response; });
    auto fetcher = NewFetcher();
    std::string reply = "stale";
    QCOMPARE(Fetch(*fetcher, op, reply, server->Url("/")), expectedResult);
    QCOMPARE(Bytes(reply), Bytes(expectedReply));
    QCOMPARE(fetcher->curlCode, expectedCurlCode);
    QCOMPARE(fetcher->responseCode, expectedResponseCode);
    QCOMPARE(Bytes(fetcher->primaryIp), QByteArray("127.0.0.1"));

    // The fetcher's own body may be the reply buffer.
    QCOMPARE(Fetch(*fetcher, op, fetcher->body, server->Url("/")), expectedResult);
    QCOMPARE(Bytes(fetcher->body), Bytes(expectedReply));
}

void TestPageFetcher::transferFailures_data()
{
    QTest::addColumn<std::string>("op");
    QTest::addColumn<std::string>("url");
    QTest::addColumn<std::string>("expectedReply");
    QTest::addColumn<int>("expectedCurlCode");

    const std::string refused = "http://127.0.0.1:" + std::to_string(CTestServer::UnusedPort()) + "/";
    QTest::newRow("get, connection refused")
        << std::string("get") << refused
        << std::string("Down page Failed Error Code is 0=Couldn't connect to server")
        << int(CURLE_COULDNT_CONNECT);
    QTest::newRow("post, connection refused")
        << std::string("post") << refused << std::string("Down page Failed Error Code is 0")
        << int(CURLE_COULDNT_CONNECT);
    QTest::newRow("get, blank in the address")
        << std::string("get") << std::string("http://127.0.0.1:1/a b")
        << std::string("Down page Failed Error Code is 0=URL using bad/illegal format or missing URL")
        << int(CURLE_URL_MALFORMAT);
    QTest::newRow("post, blank in the address")
        << std::string("post") << std::string("http://127.0.0.1:1/a b")
        << std::string("Down page Failed Error Code is 0") << int(CURLE_URL_MALFORMAT);
}

void TestPageFetcher::transferFailures()
{
    QFETCH(std::string, op);
    QFETCH(std::string, url);
    QFETCH(std::string, expectedReply);
    QFETCH(int, expectedCurlCode);

    auto fetcher = NewFetcher();
    fetcher->errorText = "untouched";
    std::string reply;
    QVERIFY(!Fetch(*fetcher, op, reply, url));
    QCOMPARE(Bytes(reply), Bytes(expectedReply));
    QCOMPARE(fetcher->curlCode, expectedCurlCode);
    QCOMPARE(fetcher->responseCode, 0L);
    if (op == "post")
        QCOMPARE(Bytes(fetcher->errorText), QByteArray("untouched"));
}

void TestPageFetcher::nullHandleFails()
{
    CPageFetcher fetcher; // InitHandle never called
    fetcher.body = "body";
    fetcher.options.cookieList = "cookies";
    fetcher.responseCode = 321;
    std::string reply;
    QVERIFY(!fetcher.GetPage(reply, server->Url("/"), 10));
    QCOMPARE(Bytes(reply), QByteArray("curl_easy_init Failed"));
    reply.clear();
    QVERIFY(!fetcher.PostPage(reply, server->Url("/"), "a=1", 10));
    QCOMPARE(Bytes(reply), QByteArray("curl_easy_init Failed"));

    QCOMPARE(Bytes(fetcher.body), QByteArray("body"));
    QCOMPARE(Bytes(fetcher.options.cookieList), QByteArray("cookies"));
    QCOMPARE(fetcher.responseCode, 321L);
    QVERIFY(server->Requests().empty());
}

void TestPageFetcher::bodyCap_data()
{
    QTest::addColumn<std::string>("op");
    QTest::addColumn<Response>("response");
    QTest::addColumn<bool>("expectedResult");

    const size_t cap = CPageFetcher::kMaxBodyBytes;
    QTest::newRow("get, exactly the cap") << std::string("get") << Reply(200, std::string(cap, 'x'))
                                          << true;
    QTest::newRow("get, one byte over") << std::string("get")
                                        << Reply(200, std::string(cap + 1, 'x')) << false;
    QTest::newRow("post, one byte over") << std::string("post")
                                         << Reply(200, std::string(cap + 1, 'x')) << false;
    QTest::newRow("get, small gzip body inflating past the cap")
        << std::string("get")
        << Reply(200, Compress(std::string(cap + 1, 'x'), 31), {"Content-Encoding: gzip"})
        << false;
}

void TestPageFetcher::bodyCap()
{
    QFETCH(std::string, op);
    QFETCH(Response, response);
    QFETCH(bool, expectedResult);

    server->SetHandler([response](const CTestServer::Request&) { return response; });
    auto fetcher = NewFetcher();
    std::string reply;
    QCOMPARE(Fetch(*fetcher, op, reply, server->Url("/big")), expectedResult);
    if (expectedResult) {
        QCOMPARE(reply.size(), CPageFetcher::kMaxBodyBytes);
        return;
    }
    QCOMPARE(fetcher->curlCode, int(CURLE_WRITE_ERROR));
    QCOMPARE(Bytes(reply),
             QByteArray(op == "get" ? "Down page Failed Error Code is 200=Failed writing received "
                                      "data to disk/application"
                                    : "Down page Failed Error Code is 200"));
    QVERIFY(fetcher->body.size() <= CPageFetcher::kMaxBodyBytes);
}

void TestPageFetcher::callbacksKeepBytesBeforeZero()
{
    CPageFetcher fetcher;
    QCOMPARE(CPageFetcher::OnBodyData("ab\0cd", 1, 5, &fetcher), size_t(5));
    QCOMPARE(CPageFetcher::OnBodyData("ef", 1, 2, &fetcher), size_t(2));
    QCOMPARE(CPageFetcher::OnBodyData("\0gh", 1, 3, &fetcher), size_t(3));
    QCOMPARE(Bytes(fetcher.body), QByteArray("abef"));

    QCOMPARE(CPageFetcher::OnHeaderData("X: 1\0junk", 1, 9, &fetcher), size_t(9));
    QCOMPARE(CPageFetcher::OnHeaderData("\r\n", 1, 2, &fetcher), size_t(2));
    QCOMPARE(Bytes(fetcher.headerText), QByteArray("X: 1\r\n"));
}

void TestPageFetcher::wantHeadersPutsHeadersBeforeBody()
{
    server->SetHandler([](const CTestServer::Request& request) {
        return Reply(200, "body of " + request.target, {"X-Page: " + request.target});
    });
    auto fetcher = NewFetcher();
    fetcher->options.wantHeaders = true;
    std::string reply;
    QVERIFY(fetcher->GetPage(reply, server->Url("/one"), 10));
    QVERIFY(fetcher->GetPage(reply, server->Url("/two"), 10));

    const std::string head = CTestServer::Serialise(Reply(200, "body of /two", {"X-Page: /two"}),
                                                    true);
    QCOMPARE(Bytes(reply), Bytes(head + "body of /two"));
    QCOMPARE(Bytes(fetcher->headerText), Bytes(head)); // the last page's headers only
}

void TestPageFetcher::redirects_data()
{
    QTest::addColumn<std::string>("op");
    QTest::addColumn<long>("followLocation");
    QTest::addColumn<std::string>("expectedReply");
    QTest::addColumn<long>("expectedRedirects");
    QTest::addColumn<std::string>("expectedLastPath");

    QTest::newRow("get follows") << std::string("get") << 1L << std::string("target page") << 1L
                                 << std::string("/target");
    QTest::newRow("get told not to follow") << std::string("get") << 0L << std::string("moved")
                                            << 0L << std::string("/start");
    QTest::newRow("post always follows") << std::string("post") << 0L
                                         << std::string("target page") << -1L << std::string();
}

void TestPageFetcher::redirects()
{
    QFETCH(std::string, op);
    QFETCH(long, followLocation);
    QFETCH(std::string, expectedReply);
    QFETCH(long, expectedRedirects);
    QFETCH(std::string, expectedLastPath);

    server->SetHandler([](const CTestServer::Request& request) {
        if (request.target == "/start")
            return Reply(302, "moved", {"Location: /target"});
        return Reply(200, "target page");
    });
    auto fetcher = NewFetcher();
    fetcher->options.followLocation = followLocation;
    fetcher->redirectCount = -1;
    std::string reply;
    QVERIFY(Fetch(*fetcher, op, reply, server->Url("/start")));
    QCOMPARE(Bytes(reply), Bytes(expectedReply));
    QCOMPARE(fetcher->redirectCount, expectedRedirects); // PostPage leaves it alone
    if (!expectedLastPath.empty())
        QCOMPARE(Bytes(fetcher->effectiveUrl), Bytes(server->Url(expectedLastPath)));
}

void TestPageFetcher::cookieList_data()
{
    QTest::addColumn<bool>("useCookieList");
    QTest::addColumn<QByteArrayList>("expectedLines");
    QTest::addColumn<QByteArray>("expectedCookieHeader"); // of the second request

    QTest::newRow("cookie engine on") << true
                                      << QByteArrayList{"127.0.0.1\tFALSE\t/\tFALSE\t0\ta\t1",
                                                        "127.0.0.1\tFALSE\t/\tFALSE\t0\tb\t2"}
                                      << QByteArray("a=1; b=2");
    QTest::newRow("cookie engine never started")
        << false << QByteArrayList{} << QByteArray();
}

void TestPageFetcher::cookieList()
{
    QFETCH(bool, useCookieList);
    QFETCH(QByteArrayList, expectedLines);
    QFETCH(QByteArray, expectedCookieHeader);

    server->SetHandler([](const CTestServer::Request& request) {
        if (request.target == "/home")
            return Reply(200, "home", {"Set-Cookie: a=1; Path=/", "Set-Cookie: b=2"});
        return Reply(200, "next");
    });
    auto fetcher = NewFetcher();
    fetcher->options.useCookieList = useCookieList;
    std::string reply;
    QVERIFY(fetcher->GetPage(reply, server->Url("/home"), 10));
    QCOMPARE(SortedCookieLines(fetcher->options.cookieList), expectedLines);

    QVERIFY(fetcher->GetPage(reply, server->Url("/next"), 10));
    QCOMPARE(SortedCookieLines(fetcher->options.cookieList), expectedLines);
    QByteArrayList sent = Bytes(server->Requests().at(1).HeaderValue("Cookie")).split(';');
    for (QByteArray& cookie : sent)
        cookie = cookie.trimmed();
    std::sort(sent.begin(), sent.end());
    QCOMPARE(sent.join("; "), expectedCookieHeader);
}

void TestPageFetcher::preRequestFeedsCookies()
{
    server->SetHandler([](const CTestServer::Request& request) {
        if (request.target == "/prime")
            return Reply(200, "", {"Set-Cookie: p=1"});
        return Reply(200, "main page");
    });
    auto fetcher = NewFetcher();
    fetcher->options.primeCookies = true;
    fetcher->options.primeUrl = server->Url("/prime");
    fetcher->options.lastHeaderLine = "X-Last: 1";
    std::string reply;
    QVERIFY(fetcher->GetPage(reply, server->Url("/main"), 10));
    QCOMPARE(Bytes(reply), QByteArray("main page"));

    const auto requests = server->Requests();
    QCOMPARE(int(requests.size()), 2);
    QCOMPARE(Bytes(requests[0].method + " " + requests[0].target), QByteArray("HEAD /prime"));
    QVERIFY(requests[0].HeaderValue("X-Last").empty());
    QCOMPARE(Bytes(requests[1].method + " " + requests[1].target), QByteArray("GET /main"));
    QCOMPARE(Bytes(requests[1].HeaderValue("Cookie")), QByteArray("p=1"));
    QCOMPARE(Bytes(requests[1].HeaderValue("X-Last")), QByteArray("1"));
}

void TestPageFetcher::tlsVerification_data()
{
    QTest::addColumn<std::string>("op");
    QTest::addColumn<std::string>("scheme");
    QTest::addColumn<bool>("skipTlsVerify");
    QTest::addColumn<bool>("expectedTrust");

    for (const std::string op : {"get", "post", "pre-request"}) {
        for (const std::string scheme : {"https", "HTTPS", "Https"})
            QTest::newRow((op + ", " + scheme + ", verified").c_str())
                << op << scheme << false << false;
        QTest::newRow((op + ", https, skipTlsVerify").c_str())
            << op << std::string("https") << true << true;
    }
}

void TestPageFetcher::tlsVerification()
{
    QFETCH(std::string, op);
    QFETCH(std::string, scheme);
    QFETCH(bool, skipTlsVerify);
    QFETCH(bool, expectedTrust);

    CTestServer secure;
    QVERIFY(secure.Start(true));
    secure.SetHandler([](const CTestServer::Request&) {
        return Reply(200, "secure", {"Set-Cookie: s=1"});
    });
    server->SetHandler([](const CTestServer::Request& request) {
        return Reply(200, "cookie=" + request.HeaderValue("Cookie"));
    });
    const std::string url = scheme + "://127.0.0.1:" + std::to_string(secure.Port()) + "/";
    auto fetcher = NewFetcher();
    fetcher->options.skipTlsVerify = skipTlsVerify;
    std::string reply;

    if (op == "pre-request") {
        fetcher->options.primeCookies = true;
        fetcher->options.primeUrl = url;
        QVERIFY(fetcher->GetPage(reply, server->Url("/main"), 10));
        QCOMPARE(Bytes(reply), QByteArray(expectedTrust ? "cookie=s=1" : "cookie="));
        return;
    }
    QCOMPARE(Fetch(*fetcher, op, reply, url), expectedTrust);
    if (expectedTrust) {
        QCOMPARE(Bytes(reply), QByteArray("secure"));
    } else {
        QCOMPARE(fetcher->curlCode, int(CURLE_PEER_FAILED_VERIFICATION));
        QVERIFY(secure.Requests().empty());
    }
}

void TestPageFetcher::tlsSkipDoesNotCarryOver()
{
    CTestServer secure;
    QVERIFY(secure.Start(true));
    secure.SetHandler([](const CTestServer::Request&) { return Reply(200, "secure"); });
    auto fetcher = NewFetcher();
    fetcher->options.resetBeforeGet = false;
    fetcher->options.skipTlsVerify = true;
    std::string reply;
    QVERIFY(fetcher->GetPage(reply, secure.Url("/"), 10));

    fetcher->options.skipTlsVerify = false;
    QVERIFY(!fetcher->GetPage(reply, secure.Url("/"), 10));
    QCOMPARE(fetcher->curlCode, int(CURLE_PEER_FAILED_VERIFICATION));
}

void TestPageFetcher::timeoutAfterPartialBodyFails()
{
    const Response stalled = CutReply(Reply(200, "0123456789"), CTestServer::Cut::Stall, 4);
    server->SetHandler([stalled](const CTestServer::Request&) { return stalled; });
    auto fetcher = NewFetcher();
    fetcher->options.totalTimeout = 1;
    std::string reply;
    QVERIFY(!fetcher->GetPage(reply, server->Url("/"), 10));
    QCOMPARE(fetcher->curlCode, int(CURLE_OPERATION_TIMEDOUT));
    QCOMPARE(Bytes(reply), QByteArray("Down page Failed Error Code is 200=Timeout was reached"));
}

void TestPageFetcher::abortCheckEndsTransfer_data()
{
    QTest::addColumn<std::string>("op");
    QTest::newRow("get") << std::string("get");
    QTest::newRow("post") << std::string("post");
    QTest::newRow("pre-request") << std::string("pre-request");
}

void TestPageFetcher::abortCheckEndsTransfer()
{
    using Clock = std::chrono::steady_clock;
    QFETCH(std::string, op);
    const Response stalled = CutReply(Reply(200, "0123456789"), CTestServer::Cut::Stall, 4);
    Response silent;
    silent.cut = CTestServer::Cut::Stall;
    server->SetHandler([silent, stalled](const CTestServer::Request& request) {
        if (request.target == "/main")
            return Reply(200, "main page");
        return request.target == "/prime" ? silent : stalled;
    });
    auto fetcher = NewFetcher();
    // Without the check the stalls end here, and the results differ.
    fetcher->options.totalTimeout = 3;
    std::string reply;

    if (op == "pre-request") {
        // One abort, asked for while the pre-request hears nothing; the page then loads.
        const Clock::time_point start = Clock::now();
        bool aborted = false;
        fetcher->abortCheck = [&] {
            if (aborted || Clock::now() - start < std::chrono::milliseconds(100))
                return false;
            return aborted = true;
        };
        fetcher->options.primeCookies = true;
        fetcher->options.primeUrl = server->Url("/prime");
        QVERIFY(fetcher->GetPage(reply, server->Url("/main"), 10));
        QCOMPARE(Bytes(reply), QByteArray("main page"));
        QVERIFY(aborted);
        return;
    }
    // Abort once part of the body has been in for a while: the site has gone quiet mid-page.
    Clock::time_point bodySeen;
    fetcher->abortCheck = [&] {
        if (fetcher->body.empty())
            return false;
        if (bodySeen == Clock::time_point())
            bodySeen = Clock::now();
        return Clock::now() - bodySeen >= std::chrono::milliseconds(100);
    };
    QVERIFY(!Fetch(*fetcher, op, reply, server->Url("/stall")));
    QCOMPARE(fetcher->curlCode, int(CURLE_ABORTED_BY_CALLBACK));
    QCOMPARE(Bytes(reply),
             QByteArray(op == "get" ? "Down page Failed Error Code is 200=Operation was aborted "
                                      "by an application callback"
                                    : "Down page Failed Error Code is 200"));
}

QTEST_GUILESS_MAIN(TestPageFetcher)
#include "tst_pagefetcher.moc"
