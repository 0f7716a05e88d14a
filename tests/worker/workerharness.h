#pragma once

#include "tests/net/testserver.h"
#include "worker/catchthread.h"

#include <QString>
#include <QStringList>

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>

// The two lookup addresses, as a test server sees them.
constexpr char kDetectionPrefix[] = "/index-ajaxselectinfo-";
constexpr char kInfoPrefix[] = "/index-ajaxselectcourierinfo-";

inline bool StartsWith(const std::string& text, const std::string& prefix)
{
    return text.compare(0, prefix.size(), prefix) == 0;
}

// A courier-info reply that names its number and has one event.
inline std::string InfoReply(const std::string& number)
{
    return "{\"nu\":\"" + number + "\",\"data\":[{\"time\":\"t\",\"context\":\"c\"}]}";
}

inline CTestServer::Response Json(const std::string& body)
{
    CTestServer::Response response;
    response.headerLines = {"Content-Type: application/json"};
    response.body = body;
    return response;
}

// Stops a thread before deleting it, also when a failed check leaves a test early.
struct StopAndDelete {
    void operator()(CCatchThread* thread) const
    {
        thread->SetCommand(kCatchQuit);
        thread->wait();
        delete thread;
    }
};
template <typename Thread>
using OwnedThread = std::unique_ptr<Thread, StopAndDelete>;

// Collects a thread's result texts as they are emitted, on the worker thread itself, under a
// lock (a QSignalSpy would be written from the worker and read from the test unguarded). It
// stops the thread before it goes away, so a check that fails early leaves no emitter behind.
class ResultCollector {
public:
    explicit ResultCollector(CCatchThread& thread) : thread(thread)
    {
        QObject::connect(
            &thread, &CCatchThread::notifyResult, &thread,
            [this](const QString& text) {
                std::lock_guard<std::mutex> lock(mutex);
                texts << text;
                arrived.notify_all();
            },
            Qt::DirectConnection);
    }

    ~ResultCollector()
    {
        thread.SetCommand(kCatchQuit);
        thread.wait();
    }

    ResultCollector(const ResultCollector&) = delete;
    ResultCollector& operator=(const ResultCollector&) = delete;

    QStringList Texts()
    {
        std::lock_guard<std::mutex> lock(mutex);
        return texts;
    }

    bool WaitFor(int count, int milliseconds)
    {
        std::unique_lock<std::mutex> lock(mutex);
        return arrived.wait_for(lock, std::chrono::milliseconds(milliseconds),
                                [&] { return texts.size() >= count; });
    }

private:
    CCatchThread& thread;
    std::mutex mutex;
    std::condition_variable arrived;
    QStringList texts;
};

// Starts a batch and waits until the thread is idle again; false when it is not in time.
inline bool RunOneBatch(CCatchThread& thread, const QString& text, int milliseconds = 20000)
{
    thread.StartCatch(text);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    while (thread.Command() == kCatchRun) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        QThread::msleep(2);
    }
    return true;
}
