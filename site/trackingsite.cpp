#include "site/trackingsite.h"

#include <httplib.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRandomGenerator>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <map>
#include <set>

const char* const kSiteCookieNames[3] = {"TRKSESSID", "visitor_id", "csrf_tk"};

namespace {

// Enough for any test or demo run, small enough that a client hammering the home page
// cannot grow the site without bound.
const size_t kMaxSessions = 10000;

const char kJsonType[] = "application/json"; // exactly so: httplib compresses only known types

std::string RandomText(int length, const char* alphabet, int alphabetSize)
{
    std::string text;
    for (int i = 0; i < length; ++i)
        text += alphabet[QRandomGenerator::global()->bounded(alphabetSize)];
    return text;
}

// Writes every non-ASCII character as a "\u" escape (two for a character beyond the BMP),
// as many real backends do; the client must decode them itself.
std::string AsciiJson(const QJsonDocument& document)
{
    const QString text = QString::fromUtf8(document.toJson(QJsonDocument::Compact));
    std::string out;
    out.reserve(text.size());
    for (const QChar c : text) {
        if (c.unicode() < 0x80) {
            out += static_cast<char>(c.unicode());
        } else {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\u%04x", static_cast<unsigned>(c.unicode()));
            out += escape;
        }
    }
    return out;
}

void SendJson(httplib::Response& response, const QJsonDocument& document)
{
    response.set_content(AsciiJson(document), kJsonType);
}

void SendEmptyArray(httplib::Response& response) { response.set_content("[]", kJsonType); }

// The keys of every courier-info reply; an error reply is these alone, without "data".
QJsonObject ReplyHead(const std::string& number, const std::string& exname, const char* status,
    const QString& message)
{
    return QJsonObject{{"message", message}, {"nu", QString::fromStdString(number)},
        {"com", QString::fromStdString(exname)}, {"status", QLatin1String(status)}, {"state", "0"},
        {"ischeck", "0"}, {"condition", ""}};
}

// The head of a reply that promises a body, then a dropped connection.
void BreakOff(httplib::Response& response)
{
    response.set_content_provider(
        1, "text/plain", [](size_t, size_t, httplib::DataSink&) { return false; });
}

bool IsTimeToken(const std::string& token)
{
    return token.size() == 13 && token.find_first_not_of("0123456789") == std::string::npos;
}

} // namespace

CTrackingSite::CTrackingSite(CParcelSet parcels, int delayMs)
    : parcels(std::move(parcels)), delayMs(delayMs)
{
}

void CTrackingSite::FailRequestsFor(const std::string& number)
{
    failingNumbers.insert(number);
}

void CTrackingSite::Register(
    httplib::Server& server, std::function<void(const httplib::Request&)> onRequest)
{
    // Without it keep-alive clients wait for the delayed-ACK timer on every reply.
    server.set_tcp_nodelay(true);
    if (delayMs > 0 || onRequest) {
        server.set_pre_routing_handler(
            [this, onRequest](const httplib::Request& request, httplib::Response&) {
                if (onRequest)
                    onRequest(request);
                if (delayMs > 0)
                    Pause();
                return httplib::Server::HandlerResponse::Unhandled;
            });
    }
    using httplib::Request;
    using httplib::Response;
    server.Get("/", [this](const Request& q, Response& r) { ServeHome(q, r); });
    server.Get(R"(/index-ajaxselectinfo-(.*)\.html)",
        [this](const Request& q, Response& r) { ServeDetection(q, r); });
    server.Post(R"(/index-ajaxselectcourierinfo-(.*)\.html)",
        [this](const Request& q, Response& r) { ServeCourierInfo(q, r); });
}

void CTrackingSite::CancelDelays()
{
    {
        std::lock_guard<std::mutex> lock(mutex);
        delaysCancelled = true;
    }
    delayCancelled.notify_all();
}

void CTrackingSite::Pause()
{
    std::unique_lock<std::mutex> lock(mutex);
    delayCancelled.wait_for(
        lock, std::chrono::milliseconds(delayMs), [this] { return delaysCancelled; });
}

void CTrackingSite::ServeHome(const httplib::Request&, httplib::Response& response)
{
    static const char kLower[] = "0123456789abcdefghijklmnopqrstuv";
    static const char kHex[] = "0123456789abcdef";
    CSession session;
    session.values[0] = RandomText(26, kLower, 32);
    session.values[1] = RandomText(20, kHex, 16);
    session.values[2] = RandomText(32, kHex, 16);
    {
        std::lock_guard<std::mutex> lock(mutex);
        if (sessions.size() >= kMaxSessions) {
            sessions.erase(sessionOrder.front());
            sessionOrder.pop_front();
        }
        sessions[session.values[0]] = session;
        sessionOrder.push_back(session.values[0]);
    }
    response.set_header("Set-Cookie",
        std::string(kSiteCookieNames[0]) + "=" + session.values[0] + "; path=/; HttpOnly");
    response.set_header("Set-Cookie",
        std::string(kSiteCookieNames[1]) + "=" + session.values[1] + "; Max-Age=31536000; path=/");
    response.set_header(
        "Set-Cookie", std::string(kSiteCookieNames[2]) + "=" + session.values[2] + "; path=/");

    QString couriers;
    for (const auto& courier : parcels.couriers)
        couriers += (couriers.isEmpty() ? "" : "、") + courier.second.name.toHtmlEscaped();
    const QString page = QStringLiteral(
        "<!DOCTYPE html>\n<html lang=\"zh-CN\"><head><meta charset=\"utf-8\">"
        "<title>快递单号查询</title></head>\n<body><h1>快递单号查询</h1>\n"
        "<form><input name=\"nu\" placeholder=\"请输入快递单号\">"
        "<button type=\"button\">查询</button></form>\n"
        "<p>支持的快递公司：%1</p>\n</body></html>\n").arg(couriers);
    response.set_content(page.toStdString(), "text/html; charset=utf-8");
}

void CTrackingSite::ServeDetection(
    const httplib::Request& request, httplib::Response& response) const
{
    const std::string number = request.matches[1].str();
    if (failingNumbers.count(number) != 0) {
        BreakOff(response);
        return;
    }
    const auto parcel = parcels.parcels.find(number);
    if (!IsAdmitted(request) || parcel == parcels.parcels.end()) {
        SendEmptyArray(response);
        return;
    }
    const std::string& exname = parcel->second.exname;
    const CCourier& courier = parcels.couriers.at(exname);
    const QString name = QString::fromStdString(exname);
    const QJsonObject found{{"exname", name}, {"name", courier.name}, {"tel", courier.tel},
        {"logo", QStringLiteral("/static/images/courier/%1.png").arg(name)}};
    SendJson(response, QJsonDocument(QJsonArray{found}));
}

void CTrackingSite::ServeCourierInfo(
    const httplib::Request& request, httplib::Response& response) const
{
    if (!IsAdmitted(request)) {
        SendEmptyArray(response);
        return;
    }
    // "<number>-<exname>-OXCAO<token>"; courier names hold no dash, numbers might.
    const std::string path = request.matches[1].str();
    const size_t marker = path.rfind("-OXCAO");
    const std::string head = path.substr(0, marker == std::string::npos ? 0 : marker);
    const size_t dash = head.rfind('-');
    const std::string number = dash == std::string::npos ? head : head.substr(0, dash);
    const std::string exname = dash == std::string::npos ? "" : head.substr(dash + 1);
    if (marker == std::string::npos || dash == std::string::npos
        || !IsTimeToken(path.substr(marker + 6))) {
        SendJson(response,
            QJsonDocument(ReplyHead(number, exname, "400", "请求参数错误，请刷新页面后重试")));
        return;
    }
    const auto found = parcels.parcels.find(number);
    if (found == parcels.parcels.end()) {
        SendJson(response,
            QJsonDocument(ReplyHead(number, exname, "201", "快递单号不存在或者已经过期")));
        return;
    }
    const CParcel& parcel = found->second;
    if (parcel.exname != exname) {
        SendJson(response,
            QJsonDocument(
                ReplyHead(number, exname, "201", "快递公司参数异常：单号与快递公司不匹配")));
        return;
    }
    QJsonArray events;
    for (const CTrackEvent& event : parcel.events)
        events.append(QJsonObject{{"time", event.time}, {"ftime", event.time},
            {"context", event.context}, {"location", event.location}});
    QJsonObject reply = ReplyHead(number, exname, "200", "ok");
    reply["state"] = parcel.state;
    reply["ischeck"] = parcel.state == "3" ? "1" : "0";
    reply["condition"] = "F00";
    reply["data"] = events;
    SendJson(response, QJsonDocument(reply));
}

bool CTrackingSite::IsAdmitted(const httplib::Request& request) const
{
    // Any page of the site will do as Referer; every Referer line must name one.
    const QByteArray base
        = "http://" + QByteArray::fromStdString(request.get_header_value("Host")).toLower() + "/";
    const size_t referers = request.get_header_value_count("Referer");
    if (referers == 0 || base.size() == 8)
        return false;
    for (size_t i = 0; i < referers; ++i) {
        if (!QByteArray::fromStdString(request.get_header_value("Referer", i))
                 .toLower()
                 .startsWith(base))
            return false;
    }

    // Cookies may come on several Cookie lines; each of the site's must have one value only.
    std::map<QByteArray, std::set<QByteArray>> seen;
    for (size_t i = 0; i < request.get_header_value_count("Cookie"); ++i) {
        for (const QByteArray& piece :
            QByteArray::fromStdString(request.get_header_value("Cookie", i)).split(';')) {
            const int equals = piece.indexOf('=');
            if (equals > 0)
                seen[piece.left(equals).trimmed()].insert(piece.mid(equals + 1).trimmed());
        }
    }
    const auto only = [&seen](int index) {
        const auto it = seen.find(kSiteCookieNames[index]);
        return it == seen.end() || it->second.size() != 1 ? std::string()
                                                          : it->second.begin()->toStdString();
    };
    std::lock_guard<std::mutex> lock(mutex);
    const auto session = sessions.find(only(0));
    if (session == sessions.end())
        return false;
    for (int i = 1; i < 3; ++i) {
        if (only(i) != session->second.values[i])
            return false;
    }
    return true;
}

CSiteServer::CSiteServer(CParcelSet parcels, int delayMs) : site(std::move(parcels), delayMs) {}

CSiteServer::~CSiteServer() { Stop(); }

int CSiteServer::Start(const std::string& host, int port)
{
    if (server)
        return -1;
    server.reset(new httplib::Server);
    site.Register(*server, [this](const httplib::Request& request) {
        std::lock_guard<std::mutex> lock(pathsMutex);
        paths.push_back(request.path);
    });
    this->port = port == 0 ? server->bind_to_any_port(host)
                           : (server->bind_to_port(host, port) ? port : -1);
    if (this->port < 0) {
        server.reset();
        return -1;
    }
    this->host = host;
    auto ended = std::make_shared<std::atomic<bool>>(false);
    thread = std::thread([this, ended] {
        server->listen_after_bind();
        *ended = true;
    });
    // Stop() is a no-op on a server that has not begun its accept loop yet.
    while (!server->is_running() && !*ended)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return this->port;
}

void CSiteServer::Stop()
{
    if (!server)
        return;
    site.CancelDelays();
    server->stop();
    if (thread.joinable())
        thread.join();
}

std::vector<std::string> CSiteServer::RequestedPaths() const
{
    std::lock_guard<std::mutex> lock(pathsMutex);
    return paths;
}

std::string CSiteServer::BaseAddress() const
{
    const bool ipv6 = host.find(':') != std::string::npos;
    return "http://" + (ipv6 ? "[" + host + "]" : host) + ":" + std::to_string(port) + "/";
}
