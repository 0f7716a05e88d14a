// SplitString: the first byte chooses unique and the delimiter's length (0 to 3), the next
// bytes are the delimiter (up to a zero byte, as it is a C string), the rest is the text.
#include "tests/fuzz/fuzzcheck.h"
#include "util/stringutil.h"

#include <algorithm>
#include <set>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1)
        return 0;
    const bool unique = data[0] & 1;
    const size_t wanted = std::min<size_t>((data[0] >> 1) & 3, size - 1);
    const std::string delimiter(reinterpret_cast<const char*>(data + 1),
                                std::find(data + 1, data + 1 + wanted, 0) - (data + 1));
    const std::string text(reinterpret_cast<const char*>(data + 1 + wanted), size - 1 - wanted);

    std::vector<std::string> pieces{"stale"};
    SplitString(pieces, text, delimiter.c_str(), unique);
    for (const std::string& piece : pieces)
        FUZZ_CHECK(TrimString(piece) == piece);

    std::vector<std::string> all;
    SplitString(all, text, delimiter.c_str(), false);
    if (!delimiter.empty()) {
        // One piece per delimiter match in the text followed by the delimiter.
        const std::string work = text + delimiter;
        size_t matches = 0;
        for (size_t at = work.find(delimiter); at != std::string::npos;
             at = work.find(delimiter, at + delimiter.size()))
            ++matches;
        FUZZ_CHECK(all.size() == matches);
    }

    if (unique) {
        // The distinct non-empty pieces of the plain split, each at its first occurrence.
        std::vector<std::string> expected;
        std::set<std::string> seen;
        for (const std::string& piece : all) {
            if (!piece.empty() && seen.insert(piece).second)
                expected.push_back(piece);
        }
        FUZZ_CHECK(pieces == expected);
    } else {
        FUZZ_CHECK(pieces == all);
    }
    return 0;
}
