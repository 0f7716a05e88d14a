#include "worker/catchthread.h"

#include "net/pagefetcher.h"

#include <QLatin1Char>

#include <chrono>

namespace {
// An interruption request notifies nothing, so the idle thread still looks this often.
constexpr auto kIdleLookInterval = std::chrono::seconds(1);
} // namespace

int CountNumbers(const QStringList& lines)
{
    int numbers = 0;
    for (const QString& line : lines)
        numbers += line.isEmpty() ? 0 : 1;
    return numbers;
}

CCatchThread::CCatchThread(QObject* parent)
    : QThread(parent),
      siteBaseAddress(kSiteBaseAddress),
      command(kCatchIdle),
      numbersText()
{
    // Queued to the window's thread, the outcome travels by its registered name.
    qRegisterMetaType<LookupOutcome>();
}

CCatchThread::~CCatchThread()
{
    requestInterruption();
    // Qt ends a thread through locks of its own that ThreadSanitizer cannot see; the worker's
    // last look at its command is made under this lock, so taking it orders that look before
    // the fields are destroyed, for the sanitizer as for the reader.
    std::lock_guard<std::mutex> lock(handOverMutex);
}

void CCatchThread::StartCatch(QString text)
{
    {
        std::lock_guard<std::mutex> lock(handOverMutex);
        numbersText = std::move(text);
        // Stored after the text: a worker that reads kCatchRun finds the text complete.
        command.store(kCatchRun);
    }
    commandStored.notify_one();
}

void CCatchThread::SetCommand(int value)
{
    {
        // Under the lock, so the store cannot fall between the worker's look and its wait.
        std::lock_guard<std::mutex> lock(handOverMutex);
        command.store(value);
    }
    commandStored.notify_one();
}

void CCatchThread::SetSiteBaseAddress(const std::string& address)
{
    siteBaseAddress = address;
}

int CCatchThread::Command() const
{
    return command.load();
}

void CCatchThread::Launch()
{
    start(QThread::HighestPriority);
}

bool CCatchThread::QuitRequested() const
{
    return command.load() == kCatchQuit || isInterruptionRequested();
}

void CCatchThread::BatchEntered(const QStringList&, bool)
{
}

void CCatchThread::FetcherReady(CPageFetcher&)
{
}

void CCatchThread::run()
{
    CPageFetcher fetcher;
    fetcher.InitHandle();
    // Closing the window must not wait for a silent site.
    fetcher.abortCheck = [this] { return QuitRequested(); };
    FetcherReady(fetcher);
    std::string reply;

    while (!isInterruptionRequested()) {
        // Every look at the command is made under the hand-over lock, the last one included:
        // the owner's destructor takes the lock, which orders that look before the fields go.
        std::unique_lock<std::mutex> lock(handOverMutex);
        const int current = command.load();
        if (current == kCatchQuit)
            break;
        if (current != kCatchRun) {
            commandStored.wait_for(lock, kIdleLookInterval, [this] {
                const int pending = command.load();
                return pending == kCatchRun || pending == kCatchQuit;
            });
            continue;
        }
        // A deep copy: nothing the batch reads is shared with the window's thread.
        const QString text(numbersText.constData(), numbersText.size());
        lock.unlock();

        const QStringList lines = text.split(QLatin1Char('\n'));
        const int numbers = CountNumbers(lines);
        const bool accepted = numbers <= kMaxNumbers;
        BatchEntered(lines, accepted);
        if (accepted) {
            emit batchStarted(numbers);
            RunBatch(fetcher, reply, lines);
        }

        {
            // Only kCatchRun goes back to idle: a kCatchQuit stored during the batch must stay.
            std::lock_guard<std::mutex> relock(handOverMutex);
            int expected = kCatchRun;
            command.compare_exchange_strong(expected, kCatchIdle);
        }
        emit batchFinished();
    }
}
