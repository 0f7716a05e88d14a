// A 20-number batch of the lookup thread against the stand-in site, next to a bare libcurl
// loop making the same 41 requests with the same fresh-connection options. Prints
// "batch/bare ratio: R".
#include "bench/median.h"
#include "net/pagefetcher.h"
#include "site/parcelset.h"
#include "site/trackingsite.h"
#include "worker/catchthread.h"

#include <QCoreApplication>
#include <QStringList>

#include <curl/curl.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <ctime>
#include <mutex>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

size_t Discard(char*, size_t size, size_t count, void*) { return size * count; }

// What the worker does, without the worker: home page, then detection and courier info for
// each number, each on a fresh connection with the same header lines.
double BareBatchMs(const std::string& base, const std::vector<std::string>& numbers,
                   const std::vector<std::string>& couriers)
{
    const auto start = Clock::now();
    CURL* curl = curl_easy_init();
    auto perform = [&](const std::string& url, bool post, curl_slist* headers) {
        curl_easy_reset(curl);
        curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
        curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers);
        curl_easy_setopt(curl, CURLOPT_ACCEPT_ENCODING, "gzip");
        curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
        curl_easy_setopt(curl, CURLOPT_FORBID_REUSE, 1L);
        curl_easy_setopt(curl, CURLOPT_FRESH_CONNECT, 1L);
        curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 1L);
        curl_easy_setopt(curl, CURLOPT_COOKIEFILE, "");
        curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, Discard);
        if (post)
            curl_easy_setopt(curl, CURLOPT_POSTFIELDS, "");
        curl_easy_perform(curl);
    };
    perform(base, false, nullptr);
    // The worker's Referer line; the cookie engine sends the site's cookies itself.
    curl_slist* headers = curl_slist_append(nullptr, ("Referer: " + base).c_str());
    for (size_t i = 0; i < numbers.size(); ++i) {
        perform(base + "index-ajaxselectinfo-" + numbers[i] + ".html", false, headers);
        perform(base + "index-ajaxselectcourierinfo-" + numbers[i] + "-" + couriers[i] +
                    "-OXCAO" + std::to_string(time(nullptr)) + "123.html",
                true, headers);
    }
    curl_slist_free_all(headers);
    curl_easy_cleanup(curl);
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// One batch on a fresh thread, so that it too starts with the home page: 41 requests.
double WorkerBatchMs(const std::string& base, const QString& text, int expectedResults)
{
    std::mutex mutex;
    std::condition_variable allIn;
    int results = 0;

    CCatchThread worker(nullptr);
    worker.SetSiteBaseAddress(base);
    QObject::connect(&worker, &CCatchThread::notifyResult, [&](const QString&) {
        std::lock_guard<std::mutex> lock(mutex);
        if (++results == expectedResults)
            allIn.notify_one();
    });
    worker.Launch();
    const auto start = Clock::now();
    worker.StartCatch(text);
    {
        std::unique_lock<std::mutex> lock(mutex);
        allIn.wait_for(lock, std::chrono::seconds(60), [&] { return results == expectedResults; });
    }
    const double ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    worker.SetCommand(kCatchQuit);
    worker.wait();
    return results == expectedResults ? ms : -1;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const int rounds = argc > 1 ? std::max(20, atoi(argv[1])) : 20;

    const CParcelSet parcels = BuiltInParcelSet();
    CSiteServer site(parcels);
    if (site.Start() < 0) {
        std::fprintf(stderr, "bench_batch: cannot start the stand-in site\n");
        return 1;
    }
    const std::string base = site.BaseAddress();

    std::vector<std::string> numbers, couriers;
    QStringList lines;
    while (numbers.size() < 20) {
        for (const auto& entry : parcels.parcels) {
            if (numbers.size() == 20)
                break;
            numbers.push_back(entry.second.number);
            couriers.push_back(entry.second.exname);
            lines << QString::fromStdString(entry.second.number);
        }
    }
    const QString text = lines.join(QLatin1Char('\n'));

    std::vector<double> worker, bare;
    for (int round = 0; round < rounds; ++round) {
        const double batchMs = WorkerBatchMs(base, text, 20);
        if (batchMs < 0) {
            std::fprintf(stderr, "bench_batch: a batch did not bring its 20 results\n");
            return 1;
        }
        worker.push_back(batchMs);
        bare.push_back(BareBatchMs(base, numbers, couriers));
    }
    const double workerMs = Median(worker), bareMs = Median(bare);
    std::printf("batch of 20 numbers: %.2f ms (median of %d)\n", workerMs, rounds);
    std::printf("bare libcurl loop of 41 requests: %.2f ms (median of %d)\n", bareMs, rounds);
    std::printf("batch/bare ratio: %.3f\n", workerMs / bareMs);

    site.Stop();
    return 0;
}
