// ReplaceAll: three inputs from one buffer. The first two bytes give the lengths of the
// pattern (0 to 7) and the replacement (0 to 15), which follow; the rest is the text.
#include "tests/fuzz/fuzzcheck.h"
#include "util/stringutil.h"

#include <algorithm>
#include <string>

namespace {

// The plain rule, searching again from the start after every replacement, for at most
// limit replacements; false when it had not ended by then.
bool RestartingReplace(std::string& text, const std::string& pattern,
                       const std::string& replacement, size_t limit, size_t& count)
{
    count = 0;
    for (size_t at = text.find(pattern); at != std::string::npos; at = text.find(pattern)) {
        if (count == limit)
            return false;
        text.replace(at, pattern.size(), replacement);
        ++count;
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 2)
        return 0;
    const char* bytes = reinterpret_cast<const char*>(data);
    size_t at = 2;
    const size_t patternSize = std::min<size_t>(data[0] & 7, size - at);
    const std::string pattern(bytes + at, patternSize);
    at += patternSize;
    const size_t replacementSize = std::min<size_t>(data[1] & 15, size - at);
    const std::string replacement(bytes + at, replacementSize);
    at += replacementSize;
    const std::string original(bytes + at, size - at);

    std::string text = original;
    const int count = ReplaceAll(text, pattern, replacement);

    FUZZ_CHECK(count >= 0);
    if (pattern.empty() || pattern == replacement || count == 0) {
        FUZZ_CHECK(count == 0 && text == original);
        return 0;
    }
    const long long grown = static_cast<long long>(replacement.size()) - pattern.size();
    FUZZ_CHECK(static_cast<long long>(text.size())
               == static_cast<long long>(original.size()) + count * grown);
    // A shorter replacement shrinks the text every time, so every occurrence must be gone.
    if (replacement.size() < pattern.size())
        FUZZ_CHECK(text.find(pattern) == std::string::npos);

    const bool holdsPattern = replacement.find(pattern) != std::string::npos;
    // Only a replacement that keeps re-forming the pattern may leave it, after it has
    // inserted tens of kilobytes.
    if (!holdsPattern && text.find(pattern) != std::string::npos)
        FUZZ_CHECK(static_cast<size_t>(count) * replacement.size() >= (32u << 10));

    // Wherever the plain rule ends, the result must be exactly its result (checked where
    // the plain rule, a whole search and copy per replacement, is quick enough).
    if (!holdsPattern && count <= 256 && text.size() <= 4096) {
        std::string plain = original;
        size_t plainCount = 0;
        if (RestartingReplace(plain, pattern, replacement, static_cast<size_t>(count) + 1,
                              plainCount)) {
            FUZZ_CHECK(plain == text);
            FUZZ_CHECK(plainCount == static_cast<size_t>(count));
        }
    }
    return 0;
}
