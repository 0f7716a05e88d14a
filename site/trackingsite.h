#pragma once

#include "site/parcelset.h"

#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

namespace httplib {
class Server;
struct Request;
struct Response;
} // namespace httplib

// The cookies the home page sets, in the order it sets them (deliberately not sorted by name).
extern const char* const kSiteCookieNames[3];

// A stand-in for the tracking web site: the home page hands out a session in cookies, and the
// two JSON addresses answer only requests that carry that session and the site's own Referer.
class CTrackingSite {
public:
    explicit CTrackingSite(CParcelSet parcels, int delayMs = 0);

    // The courier detection of this number is broken off after the reply's head, as by a
    // site that goes away mid-reply. Only before the site serves.
    void FailRequestsFor(const std::string& number);

    // Adds the site's addresses to server; the site must outlive the server's serving.
    // onRequest, when given, is told of every request before it is answered.
    void Register(httplib::Server& server,
                  std::function<void(const httplib::Request&)> onRequest = nullptr);

    // Ends every pending --delay-ms pause, and all later ones, so that a server stops promptly.
    void CancelDelays();

private:
    struct CSession {
        std::string values[3]; // in the order of kSiteCookieNames
    };

    void ServeHome(const httplib::Request& request, httplib::Response& response);
    void ServeDetection(const httplib::Request& request, httplib::Response& response) const;
    void ServeCourierInfo(const httplib::Request& request, httplib::Response& response) const;
    bool IsAdmitted(const httplib::Request& request) const;
    void Pause();

    const CParcelSet parcels;
    const int delayMs;
    std::set<std::string> failingNumbers;

    mutable std::mutex mutex; // guards everything below
    std::unordered_map<std::string, CSession> sessions; // by the first cookie's value
    std::deque<std::string> sessionOrder; // oldest first, to bound the memory
    std::condition_variable delayCancelled;
    bool delaysCancelled = false;
};

// Serves a CTrackingSite from a background thread, for tests and benchmarks.
class CSiteServer {
public:
    explicit CSiteServer(CParcelSet parcels, int delayMs = 0);
    ~CSiteServer();
    CSiteServer(const CSiteServer&) = delete;
    CSiteServer& operator=(const CSiteServer&) = delete;

    // As CTrackingSite::FailRequestsFor; only before Start.
    void FailRequestsFor(const std::string& number) { site.FailRequestsFor(number); }

    // Listens on host:port (port 0 picks a free one); returns the port, or -1 when it cannot.
    // A server starts once: Start after Stop returns -1.
    int Start(const std::string& host = "127.0.0.1", int port = 0);
    void Stop();

    // "http://host:port/", the address the site expects as its Referer.
    std::string BaseAddress() const;

    // The path of every request served so far, oldest first.
    std::vector<std::string> RequestedPaths() const;

private:
    CTrackingSite site;
    mutable std::mutex pathsMutex;
    std::vector<std::string> paths;
    std::unique_ptr<httplib::Server> server;
    std::thread thread;
    std::string host;
    int port = -1;
};
