#include "tests/net/testserver.h"
#include "worker/catchthread.h"

#include <QtTest>

#include <chrono>
#include <climits>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <vector>

namespace {

struct Entry {
    QStringList lines;
    bool accepted;
};

// The lookup thread with its batch entries made visible. A held probe keeps each accepted
// batch running until the test releases it, standing in for a batch that waits on the site.
// Only standard-library locking is used here, so ThreadSanitizer sees every hand-over.
class ProbeThread : public CCatchThread {
public:
    explicit ProbeThread(bool hold = false) : CCatchThread(nullptr), holding(hold) {}

    void Stop()
    {
        Release();
        SetCommand(kCatchQuit);
        // A thread that misses its quit must fail the run, not stall it.
        if (!wait(10000))
            qFatal("the lookup thread did not stop within 10 s of kCatchQuit");
    }

    // Waits for the next batch entry; false when none came in time.
    bool NextEntry(Entry& entry, int milliseconds = 5000)
    {
        std::unique_lock<std::mutex> lock(mutex);
        if (!changed.wait_for(lock, std::chrono::milliseconds(milliseconds),
                              [this] { return !entries.empty(); }))
            return false;
        entry = entries.front();
        entries.pop_front();
        return true;
    }

    void Release()
    {
        std::lock_guard<std::mutex> lock(mutex);
        holding = false;
        changed.notify_all();
    }

protected:
    void BatchEntered(const QStringList& lines, bool accepted) override
    {
        std::unique_lock<std::mutex> lock(mutex);
        entries.push_back(Entry{lines, accepted});
        changed.notify_all();
        if (accepted)
            changed.wait(lock, [this] { return !holding; });
    }

private:
    std::mutex mutex;
    std::condition_variable changed;
    std::deque<Entry> entries;
    bool holding;
};

// Probes outlive their test: they are stopped after it but never deleted. Qt 5 ends a thread
// and releases QThread::wait through its own uninstrumented mutex, so ThreadSanitizer cannot
// see that the thread is gone and would report its last steps against the deletion.
std::vector<ProbeThread*>& Probes()
{
    static std::vector<ProbeThread*>* probes = new std::vector<ProbeThread*>();
    return *probes;
}

// Probes look their numbers up where nothing listens: refused at once, so a batch is quick.
ProbeThread& NewProbe(bool hold = false)
{
    Probes().push_back(new ProbeThread(hold));
    Probes().back()->SetSiteBaseAddress(
        "http://127.0.0.1:" + std::to_string(CTestServer::UnusedPort()) + "/");
    return *Probes().back();
}

QStringList Numbers(int count)
{
    QStringList numbers;
    for (int i = 0; i < count; ++i)
        numbers << QStringLiteral("SF10%1").arg(i, 8, 10, QLatin1Char('0'));
    return numbers;
}

} // namespace

class TestCatchThread : public QObject {
    Q_OBJECT

private slots:
    void cleanup();
    void batchEntry_data();
    void batchEntry();
    void otherCommandsKeepIdle_data();
    void otherCommandsKeepIdle();
    void stopWhileIdle_data();
    void stopWhileIdle();
    void quitDuringBatchIsKept();
    void startDuringBatchStartsNoSecondBatch();
    void handOverUnderLoad();
    void interfaceAsConnectedByName();
    void siteBaseAddress();
};

void TestCatchThread::cleanup()
{
    for (ProbeThread* probe : Probes())
        probe->Stop();
}

void TestCatchThread::batchEntry_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("accepted");
    QTest::addColumn<QStringList>("lines");

    const QStringList twenty = Numbers(20);
    QTest::newRow("twenty numbers") << twenty.join(QLatin1Char('\n')) << true << twenty;
    // The limit counts numbers: empty lines, a pasted column's final line feed included,
    // make no request and do not count.
    QTest::newRow("twenty numbers and a line feed")
        << twenty.join(QLatin1Char('\n')) + QLatin1Char('\n') << true
        << (QStringList(twenty) << QString());
    QStringList spaced;
    for (const QString& number : twenty)
        spaced << number << QString();
    QTest::newRow("twenty numbers with blank lines between")
        << spaced.join(QLatin1Char('\n')) << true << spaced;
    QTest::newRow("twenty-one numbers")
        << Numbers(21).join(QLatin1Char('\n')) << false << Numbers(21);
    QTest::newRow("twenty-one numbers, blank lines around")
        << QLatin1Char('\n') + Numbers(21).join(QStringLiteral("\n\n")) + QLatin1Char('\n')
        << false
        << (QStringList{QString()} + Numbers(21).join(QStringLiteral("\n\n")).split(QLatin1Char('\n'))
            << QString());
    QTest::newRow("twenty line feeds") << QString(20, QLatin1Char('\n')) << true
                                       << QStringList(QVector<QString>(21).toList());
    QTest::newRow("empty text") << QString() << true << QStringList{QString()};
    QTest::newRow("empty lines between numbers")
        << QStringLiteral("a\n\nb\n\nc") << true
        << QStringList{"a", "", "b", "", "c"};
    QTest::newRow("nothing trimmed, only line feeds split")
        << QStringLiteral(" a \r\nb\tc\n") << true << QStringList{" a \r", "b\tc", ""};
    QTest::newRow("non-ASCII") << QStringLiteral("单号1\n单号2") << true
                               << QStringList{QStringLiteral("单号1"), QStringLiteral("单号2")};
}

void TestCatchThread::batchEntry()
{
    QFETCH(QString, text);
    QFETCH(bool, accepted);
    QFETCH(QStringList, lines);

    ProbeThread& thread = NewProbe();
    thread.Launch();
    thread.StartCatch(text);
    Entry entry;
    QVERIFY(thread.NextEntry(entry));
    QCOMPARE(entry.lines, lines);
    QCOMPARE(entry.accepted, accepted);

    // Whatever the outcome, the thread goes back to idle and serves the next start.
    QTRY_COMPARE(thread.Command(), kCatchIdle);
    QVERIFY(!thread.NextEntry(entry, 0));
    thread.StartCatch(QStringLiteral("next"));
    QVERIFY(thread.NextEntry(entry));
    QCOMPARE(entry.lines, QStringList{QStringLiteral("next")});
    QVERIFY(entry.accepted);
}

void TestCatchThread::otherCommandsKeepIdle_data()
{
    QTest::addColumn<int>("command");
    QTest::newRow("idle") << kCatchIdle;
    QTest::newRow("1") << 1;
    QTest::newRow("4") << 4;
    QTest::newRow("-1") << -1;
    QTest::newRow("INT_MAX") << INT_MAX;
    QTest::newRow("INT_MIN") << INT_MIN;
}

void TestCatchThread::otherCommandsKeepIdle()
{
    QFETCH(int, command);

    ProbeThread& thread = NewProbe();
    thread.Launch();
    thread.SetCommand(command);
    Entry entry;
    // 50 ms is time enough for a thread that wrongly took the command to start a batch or stop.
    QVERIFY(!thread.NextEntry(entry, 50));
    QVERIFY(thread.isRunning());
    QCOMPARE(thread.Command(), command);

    thread.StartCatch(QStringLiteral("x"));
    QVERIFY(thread.NextEntry(entry));
    QCOMPARE(entry.lines, QStringList{QStringLiteral("x")});
}

void TestCatchThread::stopWhileIdle_data()
{
    QTest::addColumn<bool>("beforeLaunch");
    QTest::addColumn<bool>("byInterruption");
    QTest::newRow("quit while polling") << false << false;
    QTest::newRow("quit before launch") << true << false;
    QTest::newRow("interruption while polling") << false << true;
}

void TestCatchThread::stopWhileIdle()
{
    QFETCH(bool, beforeLaunch);
    QFETCH(bool, byInterruption);

    ProbeThread& thread = NewProbe();
    if (beforeLaunch)
        thread.SetCommand(kCatchQuit);
    thread.Launch();
    if (!beforeLaunch) {
        if (byInterruption)
            thread.requestInterruption();
        else
            thread.SetCommand(kCatchQuit);
    }
    QVERIFY(thread.wait(5000));
    Entry entry;
    QVERIFY(!thread.NextEntry(entry, 0));
}

void TestCatchThread::quitDuringBatchIsKept()
{
    ProbeThread& thread = NewProbe(true);
    thread.Launch();
    thread.StartCatch(QStringLiteral("a"));
    Entry entry;
    QVERIFY(thread.NextEntry(entry));

    thread.SetCommand(kCatchQuit);
    QVERIFY(!thread.isFinished());  // the batch runs to its end
    thread.Release();
    QVERIFY(thread.wait(5000));
    QCOMPARE(thread.Command(), kCatchQuit);
}

void TestCatchThread::startDuringBatchStartsNoSecondBatch()
{
    ProbeThread& thread = NewProbe(true);
    thread.Launch();
    thread.StartCatch(QStringLiteral("a"));
    Entry entry;
    QVERIFY(thread.NextEntry(entry));

    thread.StartCatch(QStringLiteral("b"));
    QCOMPARE(thread.Command(), kCatchRun);
    thread.Release();
    QTRY_COMPARE(thread.Command(), kCatchIdle);
    QVERIFY(!thread.NextEntry(entry, 0));
    QVERIFY(thread.isRunning());

    // The text stored during the batch is looked up only on a later start.
    thread.StartCatch(QStringLiteral("c"));
    QVERIFY(thread.NextEntry(entry));
    QCOMPARE(entry.lines, QStringList{QStringLiteral("c")});
}

void TestCatchThread::handOverUnderLoad()
{
    // Starts pour in while the worker reads: every batch must see one whole stored text.
    ProbeThread& thread = NewProbe();
    thread.Launch();
    const int starts = 3000;
    for (int i = 0; i < starts; ++i) {
        const QString number = QString::number(i);
        thread.StartCatch(QStringList{number, number, number}.join(QLatin1Char('\n')));
        if (i % 100 == 0)
            QThread::usleep(200);
    }

    Entry entry;
    int batches = 0;
    while (thread.NextEntry(entry, batches == 0 ? 5000 : 100)) {
        ++batches;
        QCOMPARE(entry.lines.size(), 3);
        QCOMPARE(entry.lines.at(1), entry.lines.at(0));
        QCOMPARE(entry.lines.at(2), entry.lines.at(0));
        bool isNumber = false;
        const int value = entry.lines.at(0).toInt(&isNumber);
        QVERIFY(isNumber && value >= 0 && value < starts);
    }
    QVERIFY(batches >= 1);
}

void TestCatchThread::interfaceAsConnectedByName()
{
    // The window connects by signature strings; a renamed signal would fail only at run time.
    CCatchThread thread(nullptr);
    QCOMPARE(QByteArray(thread.metaObject()->className()), QByteArray("CCatchThread"));
    QSignalSpy spy(&thread, SIGNAL(notifyResult(QString)));
    QVERIFY(spy.isValid());
}

void TestCatchThread::siteBaseAddress()
{
    const QByteArray address(kSiteBaseAddress);
    QCOMPARE(address, QByteArray(CONFIGURED_SITE_BASE_ADDRESS));
    QVERIFY(address.endsWith('/'));
}

int RunCatchThreadTests(int argc, char** argv)
{
    TestCatchThread test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_catchthread.moc"
