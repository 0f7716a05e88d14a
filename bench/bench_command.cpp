// How fast the idle lookup thread takes up a command: StartCatch to the batch entry, and
// SetCommand(kCatchQuit) to the end of run. The batch is one the thread refuses (too many
// numbers), so no request is made. Prints "command latency: X ms" and "quit latency: X ms",
// medians. An argument sets the number of rounds (default 200).
#include "bench/median.h"
#include "worker/catchthread.h"

#include <QStringList>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
// Long enough for the thread to have gone back to its wait.
constexpr auto kIdleFirst = std::chrono::milliseconds(20);

double MsSince(Clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// Notes when each batch entry happens.
class CTimedThread : public CCatchThread {
public:
    CTimedThread() : CCatchThread(nullptr) {}

    Clock::time_point WaitForEntry()
    {
        std::unique_lock<std::mutex> lock(mutex);
        entered.wait(lock, [this] { return entries > 0; });
        --entries;
        return lastEntry;
    }

protected:
    void BatchEntered(const QStringList&, bool) override
    {
        const auto now = Clock::now();
        std::lock_guard<std::mutex> lock(mutex);
        lastEntry = now;
        ++entries;
        entered.notify_one();
    }

private:
    std::mutex mutex;
    std::condition_variable entered;
    int entries = 0;
    Clock::time_point lastEntry;
};

} // namespace

int main(int argc, char** argv)
{
    const int rounds = argc > 1 ? std::max(1, atoi(argv[1])) : 200;
    QStringList numbers;
    for (int i = 0; i < 21; ++i)
        numbers << QString::number(100000 + i);
    const QString refused = numbers.join(QLatin1Char('\n'));

    std::vector<double> pickup;
    {
        CTimedThread thread;
        thread.SetSiteBaseAddress("http://127.0.0.1:1/"); // never asked: every batch is refused
        thread.Launch();
        for (int round = 0; round < rounds; ++round) {
            std::this_thread::sleep_for(kIdleFirst);
            const auto start = Clock::now();
            thread.StartCatch(refused);
            pickup.push_back(std::chrono::duration<double, std::milli>(thread.WaitForEntry() - start)
                                 .count());
        }
        thread.SetCommand(kCatchQuit);
        thread.wait();
    }

    std::vector<double> quit;
    for (int round = 0; round < std::max(1, rounds / 10); ++round) {
        CCatchThread thread(nullptr);
        thread.Launch();
        std::this_thread::sleep_for(kIdleFirst);
        const auto start = Clock::now();
        thread.SetCommand(kCatchQuit);
        thread.wait();
        quit.push_back(MsSince(start));
    }

    std::printf("command latency: %.3f ms (median of %d)\n", Median(pickup), rounds);
    std::printf("quit latency: %.3f ms (median of %zu)\n", Median(quit), quit.size());
    return 0;
}
