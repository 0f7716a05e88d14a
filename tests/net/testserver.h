#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// A loopback HTTP server for tests. It keeps every request exactly as it arrived (header
// lines in their order, duplicates included) and answers with whatever the test's handler
// returns, including replies that stall, break off or are not HTTP at all. Raw sockets
// rather than an HTTP library, because libraries normalise exactly what the tests inspect.
class CTestServer {
public:
    struct Request {
        std::string method;
        std::string target;                   // path and query, as sent
        std::vector<std::string> headerLines; // "Name: value", without CR LF
        std::string body;

        // Value of the first header line with this name (any case); empty when none.
        std::string HeaderValue(const std::string& name) const;
    };

    // How a reply ends once cutAfterBytes bytes of it are sent.
    enum class Cut {
        None,  // the whole reply goes out, then the connection closes
        Stall, // nothing more is sent; the server waits until the client leaves
        Close, // orderly close
        Reset, // abortive close (TCP RST)
    };

    struct Response {
        int status = 200;
        std::vector<std::string> headerLines; // e.g. "Set-Cookie: a=1"; Content-Length is
                                              // added unless one is given here
        std::string body;                     // not sent in reply to HEAD
        std::string raw;                      // when non-empty, sent instead of all the above
        Cut cut = Cut::None;
        size_t cutAfterBytes = 0;             // counts status line, headers and body
        int dripMs = 0;       // when non-zero, one byte goes out at a time, this many ms apart
        bool endless = false; // after the reply, filler bytes follow until the client leaves
    };

    using Handler = std::function<Response(const Request&)>;
    // A socket descriptor: an int on POSIX systems, a SOCKET (pointer-sized) on Windows.
#ifdef _WIN32
    using Socket = std::uintptr_t;
#else
    using Socket = int;
#endif
    static constexpr Socket kNoSocket = static_cast<Socket>(-1);

    CTestServer();
    ~CTestServer();
    CTestServer(const CTestServer&) = delete;
    CTestServer& operator=(const CTestServer&) = delete;

    // Listens on 127.0.0.1 at port (0: a free one); with tls, speaks https with a fresh
    // self-signed certificate for 127.0.0.1. False when the socket could not be set up.
    bool Start(bool tls = false, int port = 0);
    // Ends every connection, stalled ones included, and waits for them.
    void Stop();

    void SetHandler(Handler handler);
    int Port() const { return port; }
    // "http://127.0.0.1:<port>" + path (https with tls).
    std::string Url(const std::string& path) const;
    std::vector<Request> Requests() const;
    void ClearRequests();

    // Serialises a reply as it goes on the wire (no body for HEAD).
    static std::string Serialise(const Response& response, bool forHead);
    // A port on 127.0.0.1 that refuses connections for the rest of the process.
    static int UnusedPort();
    // A port on 127.0.0.1 held, never listening, for the rest of the process: no other
    // program is handed it, while servers started on it here can still listen. 0 when none.
    static int ReservedPort();
    // Whether a client sees Cut::Reset as a reset: not under Wine, which reports it to a
    // Windows program as an orderly close.
    static bool ResetsReachClients();

private:
    class CConnection;
    struct CTlsContext;

    void AcceptLoop();
    void Serve(Socket socket);
    bool ReadRequest(CConnection& connection, Request& request);
    void Answer(CConnection& connection, Socket socket, const Response& response,
                bool forHead);
    void WaitForClientToLeave(CConnection& connection);

    Socket listenSocket = kNoSocket;
    Socket wakeSocket = kNoSocket; // sent one datagram by Stop, never read: wakes every poll
    int port = 0;
    std::unique_ptr<CTlsContext> tls;
    std::thread acceptThread;

    mutable std::mutex mutex;
    Handler handler;
    std::vector<Request> requests;
    std::vector<std::thread> connectionThreads;
    std::vector<Socket> openSockets;
};
