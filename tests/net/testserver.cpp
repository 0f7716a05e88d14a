#include "tests/net/testserver.h"

#include <openssl/evp.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>

#include <algorithm>
#include <cctype>
#include <csignal>
#include <cstdint>
#include <cstring>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

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

// Binds port, or a free one when port is 0, and sets port to the one bound.
int BindLoopback(int& port)
{
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0)
        return -1;
    // A fixed port may still have connections of an earlier server in TIME_WAIT.
    const int one = 1;
    if (port != 0)
        setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0
        || getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        close(fd);
        return -1;
    }
    port = ntohs(address.sin_port);
    return fd;
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
    CConnection(int socketFd, SSL* ssl, int wakeFd) : fd(socketFd), ssl(ssl), wakeFd(wakeFd) {}
    ~CConnection() { SSL_free(ssl); }
    CConnection(const CConnection&) = delete;
    CConnection& operator=(const CConnection&) = delete;

    // Bytes read; 0 at the end of the stream, on an error or when the server stops.
    long Read(char* buffer, size_t size)
    {
        if ((!ssl || SSL_pending(ssl) == 0) && !WaitReadable())
            return 0;
        const long count = ssl ? SSL_read(ssl, buffer, static_cast<int>(size))
                               : recv(fd, buffer, size, 0);
        return count > 0 ? count : 0;
    }

    bool Write(const char* data, size_t size)
    {
        while (size > 0) {
            const long count = ssl ? SSL_write(ssl, data, static_cast<int>(std::min<size_t>(size, 1 << 20)))
                                   : send(fd, data, size, MSG_NOSIGNAL);
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
        pollfd wake = {wakeFd, POLLIN, 0};
        return poll(&wake, 1, milliseconds) == 0;
    }

private:
    bool WaitReadable()
    {
        pollfd fds[2] = {{fd, POLLIN, 0}, {wakeFd, POLLIN, 0}};
        while (poll(fds, 2, -1) < 0) {
            if (errno != EINTR)
                return false;
        }
        return fds[1].revents == 0;
    }

    int fd;
    SSL* ssl;
    int wakeFd;
};

CTestServer::CTestServer() = default;

CTestServer::~CTestServer()
{
    Stop();
}

bool CTestServer::Start(bool useTls, int wantedPort)
{
    // A client that hangs up mid-reply must not kill the test process; TLS writes have no
    // per-call way to say so.
    std::signal(SIGPIPE, SIG_IGN);
    if (useTls) {
        tls.reset(new CTlsContext);
        tls->context = MakeSelfSignedContext();
        if (!tls->context)
            return false;
    }
    port = wantedPort;
    listenFd = BindLoopback(port);
    if (listenFd < 0 || listen(listenFd, 64) != 0 || pipe(wakePipe) != 0) {
        Stop();
        return false;
    }
    acceptThread = std::thread(&CTestServer::AcceptLoop, this);
    return true;
}

void CTestServer::Stop()
{
    if (wakePipe[1] >= 0)
        (void)!write(wakePipe[1], "x", 1);
    if (acceptThread.joinable())
        acceptThread.join();
    std::vector<std::thread> threads;
    {
        std::lock_guard<std::mutex> lock(mutex);
        for (int fd : openSockets)
            shutdown(fd, SHUT_RDWR);
        threads.swap(connectionThreads);
    }
    for (std::thread& thread : threads)
        thread.join();
    for (int* fd : {&listenFd, &wakePipe[0], &wakePipe[1]}) {
        if (*fd >= 0)
            close(*fd);
        *fd = -1;
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
    return BindLoopback(port) < 0 ? 0 : port;
}

void CTestServer::AcceptLoop()
{
    for (;;) {
        pollfd fds[2] = {{listenFd, POLLIN, 0}, {wakePipe[0], POLLIN, 0}};
        if (poll(fds, 2, -1) < 0) {
            if (errno == EINTR)
                continue;
            return;
        }
        if (fds[1].revents != 0)
            return;
        const int fd = accept(listenFd, nullptr, nullptr);
        if (fd < 0)
            continue;
        // Replies go out in the pieces the test chose, not merged by Nagle's algorithm.
        const int one = 1;
        setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        std::lock_guard<std::mutex> lock(mutex);
        openSockets.push_back(fd);
        connectionThreads.emplace_back(&CTestServer::Serve, this, fd);
    }
}

void CTestServer::Serve(int socketFd)
{
    SSL* ssl = nullptr;
    bool ready = true;
    if (tls) {
        ssl = SSL_new(tls->context);
        ready = ssl && SSL_set_fd(ssl, socketFd) == 1 && SSL_accept(ssl) == 1;
    }
    {
        CConnection connection(socketFd, ssl, wakePipe[0]);
        Request request;
        if (ready && ReadRequest(connection, request)) {
            Handler current;
            {
                std::lock_guard<std::mutex> lock(mutex);
                requests.push_back(request);
                current = handler;
            }
            const Response response = current ? current(request) : Response();
            Answer(connection, socketFd, response, request.method == "HEAD");
        }
    }
    std::lock_guard<std::mutex> lock(mutex);
    openSockets.erase(std::find(openSockets.begin(), openSockets.end(), socketFd));
    close(socketFd);
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

void CTestServer::Answer(CConnection& connection, int socketFd, const Response& response,
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
        setsockopt(socketFd, SOL_SOCKET, SO_LINGER, &abortive, sizeof abortive);
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
