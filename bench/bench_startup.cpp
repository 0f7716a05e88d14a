// The program against a bare Qt window with the same widgets started the same way, under the
// X server in DISPLAY, in interleaved runs: the time from start to the mapped window, the
// resident memory once settled, and, for the program, its wake-ups and CPU share while it
// sits idle. Prints "startup/bare ratio: R", "rss/bare ratio: R", "idle wakeups: N/s" and
// "idle cpu: P%"; and the same two ratios against the bare window loading and setting up
// libcurl as the program must, and against a bare window left at Qt's default surfaces.
// Arguments: rounds (default 10), idle seconds (default 10), then optionally the programs to
// compare in place of the program, the bare window and the bare window with libcurl.
// The log (stderr) has each round's figures and every thread's share of the idle ones.
#include "bench/median.h"

#include <xcb/xcb.h>

#include <dirent.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;
constexpr auto kSettle = std::chrono::milliseconds(1500);

long ResidentKiB(pid_t pid)
{
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.compare(0, 6, "VmRSS:") == 0)
            return std::strtol(line.c_str() + 6, nullptr, 10);
    }
    return -1;
}

// What one thread has used so far: its wake-ups (each context switch is a sleep and a wake-up)
// and its CPU time to the nanosecond, which the clock-tick counts of /proc/PID/stat are far
// too coarse to give for an idle program.
struct ThreadUse {
    std::string name;
    long switches = 0;
    unsigned long long cpuNanoseconds = 0;
};

// Every thread of the process, by thread id.
std::map<std::string, ThreadUse> ThreadsUse(pid_t pid)
{
    std::map<std::string, ThreadUse> threads;
    const std::string tasks = "/proc/" + std::to_string(pid) + "/task/";
    DIR* folder = opendir(tasks.c_str());
    if (folder == nullptr)
        return threads;
    while (dirent* entry = readdir(folder)) {
        if (entry->d_name[0] == '.')
            continue;
        const std::string thread = tasks + entry->d_name;
        ThreadUse& use = threads[entry->d_name];
        std::ifstream(thread + "/comm") >> use.name;
        std::ifstream(thread + "/schedstat") >> use.cpuNanoseconds;
        std::ifstream status(thread + "/status");
        std::string line;
        while (std::getline(status, line)) {
            if (line.find("ctxt_switches:") != std::string::npos)
                use.switches += std::strtol(line.c_str() + line.find(':') + 1, nullptr, 10);
        }
    }
    closedir(folder);
    return threads;
}

struct Run {
    double startupMs = -1;
    long residentKiB = -1;
    double wakeupsPerSecond = -1;
    double cpuPercent = -1;
};

// Starts the program, waits for its window to be mapped, lets it settle and, when asked,
// watches it idle; then ends it.
Run Measure(xcb_connection_t* connection, const char* program, int idleSeconds,
            const char* argument = nullptr)
{
    Run run;
    char* argv[] = {const_cast<char*>(program), const_cast<char*>(argument), nullptr};
    pid_t pid = 0;
    const auto start = Clock::now();
    if (posix_spawn(&pid, program, nullptr, nullptr, argv, environ) != 0)
        return run;

    const auto deadline = start + std::chrono::seconds(20);
    xcb_flush(connection);
    while (run.startupMs < 0 && Clock::now() < deadline) {
        xcb_generic_event_t* event = xcb_poll_for_event(connection);
        if (event == nullptr) {
            std::this_thread::sleep_for(std::chrono::microseconds(100));
            continue;
        }
        if ((event->response_type & ~0x80) == XCB_MAP_NOTIFY)
            run.startupMs = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
        free(event);
    }

    std::this_thread::sleep_for(kSettle);
    run.residentKiB = ResidentKiB(pid);
    if (idleSeconds > 0) {
        const auto before = ThreadsUse(pid);
        const auto idleStart = Clock::now();
        std::this_thread::sleep_for(std::chrono::seconds(idleSeconds));
        const double seconds = std::chrono::duration<double>(Clock::now() - idleStart).count();
        long switches = 0;
        unsigned long long cpuNanoseconds = 0;
        // Per thread in the log, so that the figure says whose it is.
        for (const auto& [id, after] : ThreadsUse(pid)) {
            const auto earlier = before.find(id);
            const ThreadUse start = earlier == before.end() ? ThreadUse{} : earlier->second;
            switches += after.switches - start.switches;
            cpuNanoseconds += after.cpuNanoseconds - start.cpuNanoseconds;
            std::fprintf(stderr, "idle thread %s: %ld wake-ups, %.3f ms cpu in %.1f s\n",
                         after.name.c_str(), after.switches - start.switches,
                         (after.cpuNanoseconds - start.cpuNanoseconds) / 1e6, seconds);
        }
        run.wakeupsPerSecond = switches / seconds;
        run.cpuPercent = 100.0 * cpuNanoseconds / 1e9 / seconds;
    }
    kill(pid, SIGTERM);
    waitpid(pid, nullptr, 0);
    // Whatever the ended window left in the queue belongs to no later run.
    while (xcb_generic_event_t* event = xcb_poll_for_event(connection))
        free(event);
    return run;
}

// A program started in turn with the others, and its figures over the rounds.
struct Contender {
    const char* name;
    const char* program;
    const char* argument;
    std::vector<double> startupMs = {};
    std::vector<double> residentKiB = {};
};

} // namespace

int main(int argc, char** argv)
{
    const int rounds = argc > 1 ? std::max(1, atoi(argv[1])) : 10;
    const int idleSeconds = argc > 2 ? std::max(1, atoi(argv[2])) : 10;
    // Other programs can be compared by naming them.
    const char* program = argc > 3 ? argv[3] : COLVANE_PROGRAM;
    const char* bareWindow = argc > 4 ? argv[4] : BARE_WINDOW_PROGRAM;
    const char* bareWithLibcurl = argc > 5 ? argv[5] : BARE_WINDOW_LIBCURL_PROGRAM;

    xcb_connection_t* connection = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(connection)) {
        std::fprintf(stderr, "bench_startup: no X server (DISPLAY)\n");
        return 1;
    }
    // Top-level windows are children of the root: their mapping is reported here.
    const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(connection)).data;
    const uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
    xcb_change_window_attributes(connection, screen->root, XCB_CW_EVENT_MASK, &mask);
    xcb_flush(connection);

    // The program first; the yardsticks after it, each named as its ratio lines name it.
    std::vector<Contender> contenders = {
        {"program", program, nullptr},
        {"bare", bareWindow, nullptr},
        {"bare-with-libcurl", bareWithLibcurl, nullptr},
        {"default-surfaces bare", bareWindow, "--default-surfaces"},
    };
    Run idle;
    // One unmeasured run of each first, so that none pays alone for a cold disk cache.
    for (const Contender& contender : contenders)
        Measure(connection, contender.program, 0, contender.argument);
    for (int round = 0; round < rounds; ++round) {
        std::string line = "round " + std::to_string(round) + ":";
        for (Contender& contender : contenders) {
            const bool watchIdle = &contender == &contenders.front() && round == rounds - 1;
            const Run run = Measure(connection, contender.program,
                                    watchIdle ? idleSeconds : 0, contender.argument);
            if (run.startupMs < 0) {
                std::fprintf(stderr, "bench_startup: %s's window was not mapped within 20 s\n",
                             contender.name);
                return 1;
            }
            contender.startupMs.push_back(run.startupMs);
            contender.residentKiB.push_back(run.residentKiB);
            if (watchIdle)
                idle = run;
            char figures[96];
            std::snprintf(figures, sizeof figures, " %s %.1f ms %ld KiB", contender.name,
                          run.startupMs, run.residentKiB);
            line += figures;
        }
        std::fprintf(stderr, "%s\n", line.c_str());
    }
    xcb_disconnect(connection);

    for (const Contender& contender : contenders) {
        std::printf("%s: startup %.1f ms, resident memory %.1f MiB (medians of %d)\n",
                    contender.name, Median(contender.startupMs),
                    Median(contender.residentKiB) / 1024, rounds);
    }
    const Contender& measured = contenders.front();
    for (auto yardstick = contenders.begin() + 1; yardstick != contenders.end(); ++yardstick) {
        std::printf("startup/%s ratio: %.2f\n", yardstick->name,
                    Median(measured.startupMs) / Median(yardstick->startupMs));
        std::printf("rss/%s ratio: %.2f\n", yardstick->name,
                    Median(measured.residentKiB) / Median(yardstick->residentKiB));
    }
    std::printf("idle wakeups: %.1f/s\n", idle.wakeupsPerSecond);
    std::printf("idle cpu: %.3f%%\n", idle.cpuPercent);
    return 0;
}
