#include "util/stringutil.h"

#include <QtTest>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

using Pieces = std::vector<std::string>;
Q_DECLARE_METATYPE(std::string)
Q_DECLARE_METATYPE(Pieces)

namespace {

std::string Bytes(const char* text, size_t size) { return std::string(text, size); }

// Runs work and aborts the whole process if it has not returned in time: a hang must fail
// the test run instead of stalling it.
template <typename Work>
void WithinSeconds(int seconds, const char* what, Work work)
{
    std::mutex mutex;
    std::condition_variable done;
    bool finished = false;
    std::thread watchdog([&] {
        std::unique_lock<std::mutex> lock(mutex);
        if (!done.wait_for(lock, std::chrono::seconds(seconds), [&] { return finished; })) {
            std::fprintf(stderr, "FAIL: %s did not end within %d s\n", what, seconds);
            std::abort();
        }
    });
    work();
    {
        std::lock_guard<std::mutex> lock(mutex);
        finished = true;
    }
    done.notify_one();
    watchdog.join();
}

} // namespace

class TestStringUtil : public QObject {
    Q_OBJECT

private slots:
    void splitString_data();
    void splitString();
    void splitStringReplacesEarlierPieces();
    void splitStringLeavesTextAlone();
    void trimString_data();
    void trimString();
    void replaceAll_data();
    void replaceAll();
    void replaceAllEndsOnSelfFeedingInput_data();
    void replaceAllEndsOnSelfFeedingInput();
    void replaceAllEndsWhenReplacementsReformThePattern();
    void makeTimeToken();
    void makeTimeTokenRandomPartComesFromReseededGenerator();
    void formatText_data();
    void formatText();
    void formatTextNeverWritesPastSize();
};

void TestStringUtil::splitString_data()
{
    QTest::addColumn<std::string>("text");
    QTest::addColumn<std::string>("delimiter");
    QTest::addColumn<bool>("unique");
    QTest::addColumn<Pieces>("expected");

    QTest::newRow("two pieces") << std::string("a=1\r\nb=2") << std::string("\r\n") << false
                                << Pieces{"a=1", "b=2"};
    QTest::newRow("trailing delimiter gives empty last piece")
        << std::string("a\r\nb\r\n") << std::string("\r\n") << false << Pieces{"a", "b", ""};
    QTest::newRow("empty text gives one empty piece")
        << std::string() << std::string("\r\n") << false << Pieces{""};
    QTest::newRow("leading delimiter") << std::string("\r\nx") << std::string("\r\n") << false
                                       << Pieces{"", "x"};
    QTest::newRow("two delimiters in a row") << std::string("x\r\n\r\ny") << std::string("\r\n")
                                             << false << Pieces{"x", "", "y"};
    QTest::newRow("lone CR stays, lone LF splits nothing")
        << std::string("x\r\r\ny\nz") << std::string("\r\n") << false
        << Pieces{"x\r", "y\nz"};
    QTest::newRow("blank line becomes empty piece")
        << std::string("a\r\n \t \r\nb") << std::string("\r\n") << false
        << Pieces{"a", "", "b"};
    QTest::newRow("pieces are trimmed asymmetrically")
        << std::string("  a \t,\t b  ") << std::string(",") << false
        << Pieces{"a", "\t b"};
    QTest::newRow("cookie line with empty value keeps seven fields")
        << std::string("host\tFALSE\t/\tFALSE\t0\tname\t") << std::string("\t") << false
        << Pieces{"host", "FALSE", "/", "FALSE", "0", "name", ""};
    QTest::newRow("multi-byte delimiter matches never overlap")
        << std::string("xaaay") << std::string("aa") << false << Pieces{"x", "ay"};
    QTest::newRow("zero and high bytes are ordinary")
        << Bytes("a\0b,\xff\xfe", 6) << std::string(",") << false
        << Pieces{Bytes("a\0b", 3), "\xff\xfe"};
    QTest::newRow("unique skips empty and repeated pieces")
        << std::string("b,a,b,,a") << std::string(",") << true << Pieces{"b", "a"};
    QTest::newRow("unique compares after trimming")
        << std::string("a, a,a ") << std::string(",") << true << Pieces{"a"};
    QTest::newRow("unique on empty text gives nothing")
        << std::string() << std::string(",") << true << Pieces{};
    QTest::newRow("unique is case-sensitive")
        << std::string("A,a") << std::string(",") << true << Pieces{"A", "a"};
    QTest::newRow("empty delimiter gives the trimmed text")
        << std::string(" a b ") << std::string() << false << Pieces{"a b"};
    QTest::newRow("empty delimiter, unique, blank text gives nothing")
        << std::string("  ") << std::string() << true << Pieces{};
}

void TestStringUtil::splitString()
{
    QFETCH(std::string, text);
    QFETCH(std::string, delimiter);
    QFETCH(bool, unique);
    QFETCH(Pieces, expected);

    Pieces pieces;
    WithinSeconds(5, "SplitString", [&] { SplitString(pieces, text, delimiter.c_str(), unique); });
    QCOMPARE(pieces, expected);
}

void TestStringUtil::splitStringReplacesEarlierPieces()
{
    Pieces pieces{"old", "older"};
    SplitString(pieces, "x,y", ",", false);
    QCOMPARE(pieces, (Pieces{"x", "y"}));
    SplitString(pieces, "z", ",", false);
    QCOMPARE(pieces, Pieces{"z"});
}

void TestStringUtil::splitStringLeavesTextAlone()
{
    const std::string original = " a \r\n b ";
    std::string text = original;
    Pieces pieces;
    SplitString(pieces, text, "\r\n", false);
    QCOMPARE(text, original);
}

void TestStringUtil::trimString_data()
{
    QTest::addColumn<std::string>("text");
    QTest::addColumn<std::string>("expected");

    QTest::newRow("leading tab stays") << std::string(" \t a b \t ") << std::string("\t a b");
    QTest::newRow("trailing tabs and spaces go") << std::string("a\t \t") << std::string("a");
    QTest::newRow("leading spaces go") << std::string("   a") << std::string("a");
    QTest::newRow("blanks only") << std::string(" \t \t") << std::string();
    QTest::newRow("empty") << std::string() << std::string();
    QTest::newRow("CR and LF are not blanks") << std::string(" \r\na\r\n ")
                                              << std::string("\r\na\r\n");
    QTest::newRow("inner blanks stay") << std::string("a \t b") << std::string("a \t b");
    QTest::newRow("zero byte is not a blank") << Bytes(" \0 ", 3) << Bytes("\0", 1);
}

void TestStringUtil::trimString()
{
    QFETCH(std::string, text);
    QFETCH(std::string, expected);
    QCOMPARE(TrimString(text), expected);
}

void TestStringUtil::replaceAll_data()
{
    QTest::addColumn<std::string>("text");
    QTest::addColumn<std::string>("pattern");
    QTest::addColumn<std::string>("replacement");
    QTest::addColumn<std::string>("expected");
    QTest::addColumn<int>("count");

    QTest::newRow("two places") << std::string("{0}-x-{0}") << std::string("{0}")
                                << std::string("42") << std::string("42-x-42") << 2;
    QTest::newRow("absent pattern") << std::string("abc") << std::string("{0}")
                                    << std::string("1") << std::string("abc") << 0;
    QTest::newRow("pattern equal to replacement") << std::string("a{0}") << std::string("{0}")
                                                  << std::string("{0}") << std::string("a{0}")
                                                  << 0;
    QTest::newRow("restart finds occurrence formed by replacement")
        << std::string("aabb") << std::string("ab") << std::string("a") << std::string("aa")
        << 2;
    QTest::newRow("empty replacement deletes") << std::string("x{0}y{0}") << std::string("{0}")
                                               << std::string() << std::string("xy") << 2;
    QTest::newRow("nested braces collapse") << std::string("{{0}0}}") << std::string("{0}")
                                            << std::string() << std::string("}") << 2;
    // Longer derivations than the text has bytes still end the way the restart rule does.
    QTest::newRow("chain longer than the text")
        << std::string("aaaab") << std::string("ab") << std::string("bbxa")
        << std::string("bbxbbxaxbbxaxbbxaxa") << 7;
    QTest::newRow("equal-length swaps") << std::string("aaabbb") << std::string("ab")
                                        << std::string("ba") << std::string("bbbaaa") << 9;
    QTest::newRow("case-sensitive") << std::string("AB ab") << std::string("ab")
                                    << std::string("x") << std::string("AB x") << 1;
    QTest::newRow("address template")
        << std::string("b/index-ajaxselectcourierinfo-{0}-{1}-OXCAO{2}.html")
        << std::string("{1}") << std::string("yuantong")
        << std::string("b/index-ajaxselectcourierinfo-{0}-yuantong-OXCAO{2}.html") << 1;
}

void TestStringUtil::replaceAll()
{
    QFETCH(std::string, text);
    QFETCH(std::string, pattern);
    QFETCH(std::string, replacement);
    QFETCH(std::string, expected);
    QFETCH(int, count);

    int replaced = -1;
    WithinSeconds(5, "ReplaceAll", [&] { replaced = ReplaceAll(text, pattern, replacement); });
    QCOMPARE(text, expected);
    QCOMPARE(replaced, count);
}

void TestStringUtil::replaceAllEndsOnSelfFeedingInput_data()
{
    QTest::addColumn<std::string>("text");
    QTest::addColumn<std::string>("pattern");
    QTest::addColumn<std::string>("replacement");
    QTest::addColumn<std::string>("expected");
    QTest::addColumn<int>("count");

    QTest::newRow("replacement holds the pattern")
        << std::string("a{0}b") << std::string("{0}") << std::string("x{0}y")
        << std::string("ax{0}yb") << 1;
    QTest::newRow("each original occurrence once")
        << std::string("{0}{0}") << std::string("{0}") << std::string("{0}{0}")
        << std::string("{0}{0}{0}{0}") << 2;
    QTest::newRow("number typed as the placeholder")
        << std::string("-{0}-{1}") << std::string("{1}") << std::string("{1}{1}")
        << std::string("-{0}-{1}{1}") << 1;
    QTest::newRow("empty pattern") << std::string("abc") << std::string() << std::string("x")
                                   << std::string("abc") << 0;
    QTest::newRow("empty pattern, empty text") << std::string() << std::string()
                                               << std::string("x") << std::string() << 0;
}

void TestStringUtil::replaceAllEndsOnSelfFeedingInput()
{
    replaceAll();
}

void TestStringUtil::replaceAllEndsWhenReplacementsReformThePattern()
{
    // "bbaa" never holds "ab", yet each one forms it anew with its neighbours, for ever.
    std::string text = "aab";
    int replaced = -1;
    WithinSeconds(5, "ReplaceAll", [&] { replaced = ReplaceAll(text, "ab", "bbaa"); });
    QCOMPARE(replaced, 1 + (64 << 10) / 4);
    QCOMPARE(text.size(), size_t(3) + 2 * size_t(replaced));
    QVERIFY(text.find("ab") != std::string::npos);
}

void TestStringUtil::makeTimeToken()
{
    const long long before = static_cast<long long>(time(nullptr));
    const std::string plain = MakeTimeToken(false);
    const std::string withRandom = MakeTimeToken(true);
    const long long after = static_cast<long long>(time(nullptr));

    QCOMPARE(plain.size(), size_t(10));
    const long long seconds = std::stoll(plain);
    QVERIFY(seconds >= before && seconds <= after);

    QCOMPARE(withRandom.size(), size_t(13));
    QVERIFY(withRandom.find_first_not_of("0123456789") == std::string::npos);
    const long long tokenSeconds = std::stoll(withRandom.substr(0, 10));
    QVERIFY(tokenSeconds >= before && tokenSeconds <= after);
    const int randomPart = std::stoi(withRandom.substr(10));
    QVERIFY(randomPart >= 100 && randomPart <= 599);
}

void TestStringUtil::makeTimeTokenRandomPartComesFromReseededGenerator()
{
    // The generator is seeded with the current second on every call, so the random part is
    // the first draw after srand(seconds), whatever was drawn before.
    for (int attempt = 0; attempt < 5; ++attempt) {
        const long long before = static_cast<long long>(time(nullptr));
        rand();
        rand();
        const std::string token = MakeTimeToken(true);
        const long long seconds = std::stoll(token.substr(0, 10));
        if (seconds != before)
            continue; // the second turned over mid-call; try again
        srand(static_cast<unsigned>(seconds));
        const int expected = rand() % 500 + 100;
        QCOMPARE(std::stoi(token.substr(10)), expected);
        QCOMPARE(MakeTimeToken(true).substr(10), token.substr(10));
        return;
    }
    QFAIL("clock kept turning over");
}

void TestStringUtil::formatText_data()
{
    QTest::addColumn<int>("size");
    QTest::addColumn<QByteArray>("value");
    QTest::addColumn<int>("result");
    QTest::addColumn<QByteArray>("expected");

    QTest::newRow("fits with room") << 260 << QByteArray("abc") << 3 << QByteArray("abc");
    QTest::newRow("size minus one fits") << 4 << QByteArray("abc") << 3 << QByteArray("abc");
    QTest::newRow("size bytes do not fit") << 3 << QByteArray("abc") << -1 << QByteArray();
    QTest::newRow("one byte holds the empty text") << 1 << QByteArray() << 0 << QByteArray();
}

void TestStringUtil::formatText()
{
    QFETCH(int, size);
    QFETCH(QByteArray, value);
    QFETCH(int, result);
    QFETCH(QByteArray, expected);

    std::vector<char> buffer(size_t(size), 'x');
    QCOMPARE(FormatText(buffer.data(), buffer.size(), "%s", value.constData()), result);
    QCOMPARE(QByteArray(buffer.data()), expected);
}

void TestStringUtil::formatTextNeverWritesPastSize()
{
    char buffer[300];
    std::memset(buffer, '#', sizeof buffer);
    QCOMPARE(FormatText(buffer, 260, "Down page Failed Error Code is %d", 404), 34);
    QCOMPARE(QByteArray(buffer), QByteArray("Down page Failed Error Code is 404"));

    std::memset(buffer, '#', sizeof buffer);
    QCOMPARE(FormatText(buffer, 10, "%s", std::string(50, 'y').c_str()), -1);
    QCOMPARE(buffer[0], '\0');
    QCOMPARE(buffer[10], '#');

    QCOMPARE(FormatText(buffer, 0, "%d", 1), -1);
    QCOMPARE(buffer[0], '\0'); // size 0 writes nothing: still the text of the call before
}

QTEST_APPLESS_MAIN(TestStringUtil)
#include "tst_stringutil.moc"
