#pragma once

#include <QString>
#include <QStringList>
#include <QThread>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <string>

class CPageFetcher;

// Base address of the tracking site, ending in "/"; fixed when the program is configured.
extern const char* const kSiteBaseAddress;

// Commands of the lookup thread; any other value behaves as kCatchIdle.
constexpr int kCatchIdle = 0;
constexpr int kCatchRun = 2;
constexpr int kCatchQuit = 3;

// A batch may hold at most this many numbers; a text of more is refused whole.
constexpr int kMaxNumbers = 20;

// The numbers of a batch are its non-empty lines: empty ones make no request.
int CountNumbers(const QStringList& lines);

// The one lookup thread: sleeps until it is given a command and runs one batch of lookups per
// start command, reporting each result text through notifyResult. Around them it tells how
// the batch goes: batchStarted, then numberLookedUp and numberDone for each number, then
// batchFinished (which also ends a refused batch). All are emitted on the worker thread, in
// that order.
class CCatchThread : public QThread {
    Q_OBJECT

public:
    // What became of one number: a reply with tracking events, or why there is none.
    enum class LookupOutcome {
        Found,           // the courier-info reply lists at least one tracking event
        SiteUnreachable, // a transfer failed: no connection, a reset, no reply, a time-out
        NumberUnknown,   // the detection reply is JSON but names no courier
        NoEvents,        // the courier-info reply lists no tracking event
        ReplyUnreadable, // a reply, at either step, is not the JSON expected of it
    };
    Q_ENUM(LookupOutcome)

    explicit CCatchThread(QObject* parent);
    ~CCatchThread() override;

    void StartCatch(QString text);
    void SetCommand(int command);
    void Launch();

    // The pending command; kCatchRun until the worker has finished the batch it started.
    int Command() const;

    // The site the program talks to is kSiteBaseAddress; tests and benchmarks point the
    // thread at a site of their own. Only before Launch.
    void SetSiteBaseAddress(const std::string& address);

signals:
    void notifyResult(QString);
    // An accepted batch begins with this many numbers.
    void batchStarted(int numbers);
    // The number on line `line` (from 0) of the batch's text is done; resultEmitted tells
    // whether its notifyResult came just before.
    void numberDone(int line, bool resultEmitted);
    // What the number on line `line` came to, told just before its numberDone. transferError
    // is libcurl's own text when the outcome is SiteUnreachable, and empty otherwise.
    void numberLookedUp(int line, CCatchThread::LookupOutcome outcome, QString transferError);
    // The batch, run or refused, is over; the thread is idle again unless told to quit.
    void batchFinished();

protected:
    void run() override;

    // Called on the worker thread at every batch entry, after the split and the number limit,
    // before an accepted batch runs. Lets a test see and stretch a batch without a site.
    virtual void BatchEntered(const QStringList& lines, bool accepted);

    // On the worker thread, fetcher set up, before any request: lets a test shorten time-outs.
    virtual void FetcherReady(CPageFetcher& fetcher);

private:
    void RunBatch(CPageFetcher& fetcher, std::string& reply, const QStringList& lines);
    struct NumberReport {
        bool resultEmitted = false;
        LookupOutcome outcome = LookupOutcome::Found;
        QString transferError;
    };
    // Looks one number up and tells what came of it.
    NumberReport LookUp(CPageFetcher& fetcher, std::string& reply, const QString& line);
    bool QuitRequested() const;

    bool homePageFetched = false; // worker thread only: the site's session cookies are in hand
    std::string siteBaseAddress;  // set before the thread starts, then only read
    std::atomic<int> command;
    std::mutex handOverMutex;     // guards numbersText, and every store of command that wakes
    std::condition_variable commandStored;
    QString numbersText;
};
