#include "tests/net/testserver.h"

#ifdef _WIN32
// Without these, Windows' headers define min, max and X509_NAME as macros.
#ifndef NOMINMAX
#define NOMINMAX
#endif
#define WIN32_LEAN_AND_MEAN
#include <winsock2.h>
#include <ws2tcpip.h>
#endif

#include <openssl/evp.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>

#include <algorithm>
#include <cctype>
#include <csignal>
#include <cstdint>
#include <cstring>

#ifndef _WIN32
#include <arpa/inet.h>
#include <cerrno>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

namespace {

using Socket = CTestServer::Socket;

#ifdef _WIN32
const int kShutBoth = SD_BOTH;
const int kNoSigPipe = 0; // Windows raises no signal for a peer that left

void CloseSocket(Socket socket) { closesocket(socket); }

int Poll(pollfd* fds, unsigned long count, int timeoutMs)
{
    return WSAPoll(fds, count, timeoutMs);
}

bool StartSockets()
{
    static const bool started = [] {
        WSADATA data;
        return WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }();
    return started;
}
#else
const int kShutBoth = SHUT_RDWR;
const int kNoSigPipe = MSG_NOSIGNAL;

void CloseSocket(Socket socket) { close(socket); }

int Poll(pollfd* fds, nfds_t count, int timeoutMs)
{
    int result;
    while ((result = poll(fds, count, timeoutMs)) < 0 && errno == EINTR) {
    }
    return result;
}

bool StartSockets()
{
    // A client that hangs up mid-reply must not kill the test process; TLS writes have no
    // per-call way to say so.
    std::signal(SIGPIPE, SIG_IGN);
    return true;
}
#endif

template <typename Value>
void SetOption(Socket socket, int level, int name, const Value& value)
{
    setsockopt(socket, level, name, reinterpret_cast<const char*>(&value), sizeof value);
}

sockaddr_in LoopbackAddress(int port)
{
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return address;
}

const size_t kMaxRequestHeadBytes = 1024 * 1024;

bool StartsWithNoCase(const std::string& text, const std::string& prefix)
{
    if (text.size() < prefix.size())
        return false;
    return std::equal(prefix.begin(), prefix.end(), text.begin(), [](char a, char b) {
        return std::tolower(static_cast<unsigned char>(a))
            == std::tolower(static_cast<unsigned char>(b));
    });
}

const char* ReasonPhrase(int status)
{
    switch (status) {
    case 200: return "OK";
    case 301: return "Moved Permanently";
    case 302: return "Found";
    case 404: return "Not Found";
    case 500: return "Internal Server Error";
    default: return "Status";
    }
}

// Binds a socket of the type to port, or to a free one when port is 0, and sets port to the
// one bound. A shared socket lets servers that bind with the reuse option listen on its port.
Socket BindLoopback(int type, int& port, bool shared = false)
{
    const Socket socket = ::socket(AF_INET, type, 0);
    if (socket == CTestServer::kNoSocket)
        return socket;
    // A fixed port may still have connections of an earlier server in TIME_WAIT; one that
    // set only SO_REUSEPORT (as cpp-httplib does) leaves ones that only that option passes.
    if (port != 0 || shared)
        SetOption(socket, SOL_SOCKET, SO_REUSEADDR, 1);
#ifdef SO_REUSEPORT
    if (port != 0 || shared)
        SetOption(socket, SOL_SOCKET, SO_REUSEPORT, 1);
#endif
    sockaddr_in address = LoopbackAddress(port);
    socklen_t length = sizeof address;
    if (bind(socket, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0
        || getsockname(socket, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        CloseSocket(socket);
        return CTestServer::kNoSocket;
    }
    port = ntohs(address.sin_port);
    return socket;
}

// A datagram socket that talks to itself: once Stop sends to it, it stays readable, since
// nobody reads it, and so wakes every poll that includes it, on POSIX systems and Windows.
Socket MakeWakeSocket()
{
    int port = 0;
    const Socket socket = BindLoopback(SOCK_DGRAM, port);
    const sockaddr_in self = LoopbackAddress(port);
    if (socket != CTestServer::kNoSocket
        && connect(socket, reinterpret_cast<const sockaddr*>(&self), sizeof self) != 0) {
        CloseSocket(socket);
        return CTestServer::kNoSocket;
    }
    return socket;
}

// A key and certificate made afresh for each server, so no test depends on files.
SSL_CTX* MakeSelfSignedContext()
{
    EVP_PKEY* key = EVP_EC_gen("P-256");
    X509* cert = X509_new();
    SSL_CTX* context = SSL_CTX_new(TLS_server_method());
    bool ok = key && cert && context;
    if (ok) {
        X509_set_version(cert, 2);
        ASN1_INTEGER_set(X509_get_serialNumber(cert), 1);
        X509_gmtime_adj(X509_getm_notBefore(cert), -3600);
        X509_gmtime_adj(X509_getm_notAfter(cert), 24 * 3600);
        X509_NAME* name = X509_get_subject_name(cert);
        X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC,
                                   reinterpret_cast<const unsigned char*>("127.0.0.1"), -1, -1,
                                   0);
        X509_set_issuer_name(cert, name);
        ok = X509_set_pubkey(cert, key) == 1 && X509_sign(cert, key, EVP_sha256()) > 0
            && SSL_CTX_use_certificate(context, cert) == 1
            && SSL_CTX_use_PrivateKey(context, key) == 1;
    }
    X509_free(cert);
    EVP_PKEY_free(key);
    if (!ok) {
        SSL_CTX_free(context);
        return nullptr;
    }
    return context;
}

} // namespace

std::string CTestServer::Request::HeaderValue(const std::string& name) const
{
    for (const std::string& line : headerLines) {
        if (StartsWithNoCase(line, name + ":")) {
            const size_t start = line.find_first_not_of(' ', name.size() + 1);
            return start == std::string::npos ? std::string() : line.substr(start);
        }
    }
    return std::string();
}

struct CTestServer::CTlsContext {
    SSL_CTX* context = nullptr;
    ~CTlsContext() { SSL_CTX_free(context); }
};

// One accepted socket, plain or TLS. Every wait also ends when the server stops.
class CTestServer::CConnection {
public:
    CConnection(Socket socket, SSL* ssl, Socket wakeSocket)
        : socket(socket), ssl(ssl), wakeSocket(wakeSocket)
    {
    }
    ~CConnection() { SSL_free(ssl); }
    CConnection(const CConnection&) = delete;
    CConnection& operator=(const CConnection&) = delete;

    // Bytes read; 0 at the end of the stream, on an error or when the server stops.
    long Read(char* buffer, size_t size)
    {
        if ((!ssl || SSL_pending(ssl) == 0) && !WaitReadable())
            return 0;
        const long count = ssl ? SSL_read(ssl, buffer, static_cast<int>(size))
                               : recv(socket, buffer, static_cast<int>(size), 0);
        return count > 0 ? count : 0;
    }

    bool Write(const char* data, size_t size)
    {
        while (size > 0) {
            const int piece = static_cast<int>(std::min<size_t>(size, 1 << 20));
            const long count = ssl ? SSL_write(ssl, data, piece)
                                   : send(socket, data, piece, kNoSigPipe);
            if (count <= 0)
                return false;
            data += count;
            size -= static_cast<size_t>(count);
        }
        return true;
    }

    void CloseNotify()
    {
        if (ssl)
            SSL_shutdown(ssl);
    }

    // Waits milliseconds; false when the server stops meanwhile.
    bool Pause(int milliseconds)
    {
        pollfd wake = {wakeSocket, POLLIN, 0};
        return Poll(&wake, 1, milliseconds) == 0;
    }

private:
    bool WaitReadable()
    {
        pollfd fds[2] = {{socket, POLLIN, 0}, {wakeSocket, POLLIN, 0}};
        return Poll(fds, 2, -1) > 0 && fds[1].revents == 0;
    }

    Socket socket;
    SSL* ssl;
    Socket wakeSocket;
};

CTestServer::CTestServer() = default;

CTestServer::~CTestServer()
{
    Stop();
}

bool CTestServer::Start(bool useTls, int wantedPort)
{
    if (!StartSockets())
        return false;
    if (useTls) {
        tls.reset(new CTlsContext);
        tls->context = MakeSelfSignedContext();
        if (!tls->context)
            return false;
    }
    port = wantedPort;
    listenSocket = BindLoopback(SOCK_STREAM, port);
    wakeSocket = MakeWakeSocket();
    if (listenSocket == kNoSocket || listen(listenSocket, 64) != 0 || wakeSocket == kNoSocket) {
        Stop();
        return false;
    }
    acceptThread = std::thread(&CTestServer::AcceptLoop, this);
    return true;
}

void CTestServer::Stop()
{
    if (wakeSocket != kNoSocket)
        send(wakeSocket, "x", 1, 0);
    if (acceptThread.joinable())
        acceptThread.join();
    std::vector<std::thread> threads;
    {
        std::lock_guard<std::mutex> lock(mutex);
        for (Socket socket : openSockets)
            shutdown(socket, kShutBoth);
        threads.swap(connectionThreads);
    }
    for (std::thread& thread : threads)
        thread.join();
    for (Socket* socket : {&listenSocket, &wakeSocket}) {
        if (*socket != kNoSocket)
            CloseSocket(*socket);
        *socket = kNoSocket;
    }
}

void CTestServer::SetHandler(Handler newHandler)
{
    std::lock_guard<std::mutex> lock(mutex);
    handler = std::move(newHandler);
}

std::string CTestServer::Url(const std::string& path) const
{
    return std::string(tls ? "https" : "http") + "://127.0.0.1:" + std::to_string(port) + path;
}

std::vector<CTestServer::Request> CTestServer::Requests() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return requests;
}

void CTestServer::ClearRequests()
{
    std::lock_guard<std::mutex> lock(mutex);
    requests.clear();
}

std::string CTestServer::Serialise(const Response& response, bool forHead)
{
    std::string wire = "HTTP/1.1 " + std::to_string(response.status) + " "
        + ReasonPhrase(response.status) + "\r\n";
    bool hasLength = false;
    for (const std::string& line : response.headerLines) {
        hasLength = hasLength || StartsWithNoCase(line, "Content-Length:")
            || StartsWithNoCase(line, "Transfer-Encoding:");
        wire += line + "\r\n";
    }
    if (!hasLength)
        wire += "Content-Length: " + std::to_string(response.body.size()) + "\r\n";
    wire += "Connection: close\r\n\r\n";
    if (!forHead)
        wire += response.body;
    return wire;
}

int CTestServer::UnusedPort()
{
    // The socket stays bound, never listening, until the process ends: connecting is refused,
    // and no server started meanwhile, in this process or another, is handed the same port.
    int port = 0;
    return StartSockets() && BindLoopback(SOCK_STREAM, port) != kNoSocket ? port : 0;
}

int CTestServer::ReservedPort()
{
    int port = 0;
    return StartSockets() && BindLoopback(SOCK_STREAM, port, true) != kNoSocket ? port : 0;
}

bool CTestServer::ResetsReachClients()
{
#ifdef _WIN32
    return !GetProcAddress(GetModuleHandleA("ntdll.dll"), "wine_get_version");
#else
    return true;
#endif
}

void CTestServer::AcceptLoop()
{
    for (;;) {
        pollfd fds[2] = {{listenSocket, POLLIN, 0}, {wakeSocket, POLLIN, 0}};
        if (Poll(fds, 2, -1) < 0 || fds[1].revents != 0)
            return;
        const Socket socket = accept(listenSocket, nullptr, nullptr);
        if (socket == kNoSocket)
            continue;
        // Replies go out in the pieces the test chose, not merged by Nagle's algorithm.
        SetOption(socket, IPPROTO_TCP, TCP_NODELAY, 1);
        std::lock_guard<std::mutex> lock(mutex);
        openSockets.push_back(socket);
        connectionThreads.emplace_back(&CTestServer::Serve, this, socket);
    }
}

void CTestServer::Serve(Socket socket)
{
    SSL* ssl = nullptr;
    bool ready = true;
    if (tls) {
        ssl = SSL_new(tls->context);
        // OpenSSL takes a Windows SOCKET as an int too.
        ready = ssl && SSL_set_fd(ssl, static_cast<int>(socket)) == 1 && SSL_accept(ssl) == 1;
    }
    {
        CConnection connection(socket, ssl, wakeSocket);
        Request request;
        if (ready && ReadRequest(connection, request)) {
            Handler current;
            {
                std::lock_guard<std::mutex> lock(mutex);
                requests.push_back(request);
                current = handler;
            }
            const Response response = current ? current(request) : Response();
            Answer(connection, socket, response, request.method == "HEAD");
        }
    }
    std::lock_guard<std::mutex> lock(mutex);
    openSockets.erase(std::find(openSockets.begin(), openSockets.end(), socket));
    CloseSocket(socket);
}

bool CTestServer::ReadRequest(CConnection& connection, Request& request)
{
    std::string data;
    char buffer[16384];
    size_t headEnd;
    while ((headEnd = data.find("\r\n\r\n")) == std::string::npos) {
        const long count = connection.Read(buffer, sizeof buffer);
        if (count == 0 || data.size() > kMaxRequestHeadBytes)
            return false;
        data.append(buffer, static_cast<size_t>(count));
    }

    const size_t lineEnd = data.find("\r\n");
    const std::string requestLine = data.substr(0, lineEnd);
    const size_t firstSpace = requestLine.find(' ');
    const size_t lastSpace = requestLine.rfind(' ');
    if (firstSpace == std::string::npos || lastSpace == firstSpace)
        return false;
    request.method = requestLine.substr(0, firstSpace);
    request.target = requestLine.substr(firstSpace + 1, lastSpace - firstSpace - 1);
    for (size_t start = lineEnd + 2; start < headEnd + 2;) {
        const size_t end = data.find("\r\n", start);
        request.headerLines.push_back(data.substr(start, end - start));
        start = end + 2;
    }

    // Bodies come with Content-Length only: libcurl sends form data that way.
    const size_t length = std::strtoul(request.HeaderValue("Content-Length").c_str(), nullptr, 10);
    request.body = data.substr(headEnd + 4);
    while (request.body.size() < length) {
        const long count = connection.Read(buffer, sizeof buffer);
        if (count == 0)
            return false;
        request.body.append(buffer, static_cast<size_t>(count));
    }
    return true;
}

void CTestServer::Answer(CConnection& connection, Socket socket, const Response& response,
                         bool forHead)
{
    const std::string wire = response.raw.empty() ? Serialise(response, forHead) : response.raw;
    const size_t size =
        response.cut == Cut::None ? wire.size() : std::min(response.cutAfterBytes, wire.size());
    if (response.dripMs > 0) {
        for (size_t i = 0; i < size; ++i) {
            if ((i > 0 && !connection.Pause(response.dripMs)) || !connection.Write(&wire[i], 1))
                return;
        }
    } else if (!connection.Write(wire.data(), size)) {
        return;
    }
    if (response.endless) {
        // Ends when a write fails: the client left, or Stop shut the socket down.
        const std::string filler(64 * 1024, ' ');
        while (connection.Write(filler.data(), filler.size())) {
        }
        return;
    }
    switch (response.cut) {
    case Cut::Stall:
        WaitForClientToLeave(connection);
        break;
    case Cut::Reset: {
        const linger abortive = {1, 0};
        SetOption(socket, SOL_SOCKET, SO_LINGER, abortive);
        break;
    }
    case Cut::None:
    case Cut::Close:
        connection.CloseNotify();
        break;
    }
}

void CTestServer::WaitForClientToLeave(CConnection& connection)
{
    char scratch[4096];
    while (connection.Read(scratch, sizeof scratch) > 0) {
    }
}
