// FormatText with the page fetcher's two failure formats and the time token's format, into
// a buffer of fuzzed size. The first two bytes choose the format and the size (0 to 511),
// the next four the number, and the rest (up to a zero byte) the text argument.
#include "tests/fuzz/fuzzcheck.h"
#include "util/stringutil.h"

#include <cstring>
#include <memory>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 6)
        return 0;
    const int format = data[0] % 3;
    const size_t capacity = ((data[0] >> 2) & 1) * 256 + data[1];
    int number = 0;
    std::memcpy(&number, data + 2, sizeof number);
    const std::string text(reinterpret_cast<const char*>(data + 6), size - 6);
    const char* argument = text.c_str(); // ends at the first zero byte, as libcurl's texts do

    // Exactly capacity bytes on the heap, so that any write past them is caught.
    std::unique_ptr<char[]> buffer(new char[capacity ? capacity : 1]);
    std::memset(buffer.get(), 'Z', capacity ? capacity : 1);
    int written = 0;
    char full[1024];
    int fullLength = 0;
    switch (format) {
    case 0:
        written = FormatText(buffer.get(), capacity, "Down page Failed Error Code is %d=%s",
                             number, argument);
        fullLength = std::snprintf(full, sizeof full, "Down page Failed Error Code is %d=%s",
                                   number, argument);
        break;
    case 1:
        written = FormatText(buffer.get(), capacity, "Down page Failed Error Code is %d", number);
        fullLength = std::snprintf(full, sizeof full, "Down page Failed Error Code is %d", number);
        break;
    default:
        written = FormatText(buffer.get(), capacity, "%d%d", number, number % 500 + 100);
        fullLength = std::snprintf(full, sizeof full, "%d%d", number, number % 500 + 100);
        break;
    }

    if (capacity == 0) {
        FUZZ_CHECK(written == -1);
        return 0;
    }
    if (fullLength >= 0 && static_cast<size_t>(fullLength) < capacity
        && static_cast<size_t>(fullLength) < sizeof full) {
        FUZZ_CHECK(written == fullLength);
        FUZZ_CHECK(std::memcmp(buffer.get(), full, static_cast<size_t>(fullLength) + 1) == 0);
    } else if (static_cast<size_t>(fullLength) >= capacity) {
        FUZZ_CHECK(written == -1);
        FUZZ_CHECK(buffer[0] == '\0');
    }
    return 0;
}
