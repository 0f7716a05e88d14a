// TrimString: spaces and tabs go from the end, spaces alone from the start, nothing else.
#include "tests/fuzz/fuzzcheck.h"
#include "util/stringutil.h"

#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    const std::string trimmed = TrimString(text);

    FUZZ_CHECK(trimmed.empty() == (text.find_first_not_of(" \t") == std::string::npos));
    FUZZ_CHECK(TrimString(trimmed) == trimmed);
    if (trimmed.empty())
        return 0;
    const size_t start = text.find_first_not_of(' ');
    FUZZ_CHECK(text.compare(start, trimmed.size(), trimmed) == 0);
    FUZZ_CHECK(text.find_first_not_of(" \t", start + trimmed.size()) == std::string::npos);
    FUZZ_CHECK(trimmed.back() != ' ' && trimmed.back() != '\t');
    return 0;
}
