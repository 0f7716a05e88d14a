// One lookup thread running 1,000 batches of 20 numbers against the stand-in site, in one
// process, as a long day at the desk would. Whatever grows per batch shows up here: prints
// "endurance rss growth: K KiB" (resident memory from batch 10 to the last batch) and
// "endurance header bytes: first F, last L" (the largest request head the site received
// during batch 10 and during the last batch). An argument sets another number of batches.
#include "site/parcelset.h"
#include "site/trackingsite.h"
#include "worker/catchthread.h"

#include <httplib.h>
#include <malloc.h>

#include <QCoreApplication>
#include <QStringList>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <mutex>
#include <string>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kFirstMeasuredBatch = 10;

long ResidentKiB()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.compare(0, 6, "VmRSS:") == 0)
            return std::strtol(line.c_str() + 6, nullptr, 10);
    }
    return -1;
}

// Bytes the allocator has handed out and not got back: growth here, unlike in the resident
// size, is memory the process holds on to.
long HeapKiB()
{
    return static_cast<long>(mallinfo2().uordblks / 1024);
}

// The bytes of the header lines of a request as the site received them.
size_t HeadBytes(const httplib::Request& request)
{
    size_t bytes = 0;
    for (const auto& header : request.headers)
        bytes += header.first.size() + 2 + header.second.size() + 2; // "Name: value\r\n"
    return bytes;
}

// The stand-in site, with every request's head measured before the site answers it.
class MeasuredSite {
public:
    explicit MeasuredSite(CParcelSet parcels) : site(std::move(parcels))
    {
        site.Register(server);
        server.set_pre_routing_handler([this](const httplib::Request& request, httplib::Response&) {
            const size_t bytes = HeadBytes(request);
            std::lock_guard<std::mutex> lock(mutex);
            largestHead = std::max(largestHead, bytes);
            return httplib::Server::HandlerResponse::Unhandled;
        });
    }

    ~MeasuredSite()
    {
        server.stop();
        if (thread.joinable())
            thread.join();
    }

    bool Start()
    {
        port = server.bind_to_any_port("127.0.0.1");
        if (port < 0)
            return false;
        thread = std::thread([this] { server.listen_after_bind(); });
        while (!server.is_running())
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        return true;
    }

    std::string BaseAddress() const { return "http://127.0.0.1:" + std::to_string(port) + "/"; }

    // The largest head since the last call.
    size_t TakeLargestHead()
    {
        std::lock_guard<std::mutex> lock(mutex);
        const size_t bytes = largestHead;
        largestHead = 0;
        return bytes;
    }

private:
    CTrackingSite site;
    httplib::Server server;
    std::thread thread;
    int port = -1;
    std::mutex mutex;
    size_t largestHead = 0;
};

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const int batches = argc > 1 ? std::max(kFirstMeasuredBatch, std::atoi(argv[1])) : 1000;

    const CParcelSet parcels = BuiltInParcelSet();
    MeasuredSite site(parcels);
    if (!site.Start()) {
        std::fprintf(stderr, "bench_endurance: cannot start the stand-in site\n");
        return 1;
    }

    QStringList lines;
    while (lines.size() < 20) {
        for (const auto& entry : parcels.parcels) {
            if (lines.size() < 20)
                lines << QString::fromStdString(entry.second.number);
        }
    }
    const QString text = lines.join(QLatin1Char('\n'));

    std::atomic<int> results{0};
    CCatchThread worker(nullptr);
    worker.SetSiteBaseAddress(site.BaseAddress());
    QObject::connect(&worker, &CCatchThread::notifyResult,
                     [&results](const QString&) { ++results; });
    worker.Launch();

    long firstRss = 0;
    size_t firstHead = 0;
    size_t lastHead = 0;
    const auto start = Clock::now();
    for (int batch = 1; batch <= batches; ++batch) {
        site.TakeLargestHead();
        const int before = results.load();
        worker.StartCatch(text);
        const auto deadline = Clock::now() + std::chrono::seconds(60);
        while (worker.Command() == kCatchRun && Clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        if (results.load() - before != 20) {
            std::fprintf(stderr, "bench_endurance: batch %d brought %d results, not 20\n", batch,
                         results.load() - before);
            worker.SetCommand(kCatchQuit);
            worker.wait();
            return 1;
        }
        const size_t head = site.TakeLargestHead();
        if (batch == kFirstMeasuredBatch) {
            firstRss = ResidentKiB();
            firstHead = head;
        }
        lastHead = head;
        if (batch % 100 == 0)
            std::fprintf(stderr, "batch %d: rss %ld KiB, heap %ld KiB, largest head %zu bytes\n",
                         batch, ResidentKiB(), HeapKiB(), head);
    }
    const long lastRss = ResidentKiB();
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    worker.SetCommand(kCatchQuit);
    worker.wait();

    std::printf("endurance batches: %d of 20 numbers in %.1f s\n", batches, seconds);
    std::printf("endurance rss growth: %ld KiB\n", lastRss - firstRss);
    std::printf("endurance header bytes: first %zu, last %zu\n", firstHead, lastHead);
    return 0;
}
