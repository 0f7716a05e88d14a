// The building of the "Cookie: " header line from a cookie list. An even first byte hands
// the rest over as the list, as a site might make the handle report it; an odd one builds a
// well-formed list from name/value pairs (separated by zero bytes) and checks the exact line.
#include "tests/fuzz/fuzzcheck.h"
#include "util/stringutil.h"
#include "worker/sitereplies.h"

#include <map>
#include <string>
#include <vector>

namespace {

// A cookie-file line cannot hold these inside a field.
std::string FieldText(const std::string& text)
{
    std::string field;
    for (const char c : text) {
        if (c != '\t' && c != '\r' && c != '\n')
            field += c;
    }
    return field;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1)
        return 0;
    const std::string rest(reinterpret_cast<const char*>(data + 1), size - 1);

    if ((data[0] & 1) == 0) {
        const std::string header = BuildCookieHeader(rest);
        FUZZ_CHECK(header.compare(0, 8, "Cookie: ") == 0);
        FUZZ_CHECK(header.size() == 8 || header.back() == ';');
        return 0;
    }

    std::vector<std::string> parts;
    size_t start = 0;
    for (size_t zero = rest.find('\0'); zero != std::string::npos; zero = rest.find('\0', start)) {
        parts.push_back(rest.substr(start, zero - start));
        start = zero + 1;
    }
    parts.push_back(rest.substr(start));

    std::string list;
    std::map<std::string, std::string> expected; // the last value of each name wins
    for (size_t i = 0; i + 1 < parts.size(); i += 2) {
        const std::string name = FieldText(parts[i]);
        const std::string value = FieldText(parts[i + 1]);
        list += "#HttpOnly_127.0.0.1\tFALSE\t/\tFALSE\t0\t" + name + "\t" + value + "\r\n";
        expected[TrimString(name)] = TrimString(value);
    }
    std::string line = "Cookie: ";
    for (const auto& cookie : expected)
        line += cookie.first + "=" + cookie.second + ";";
    FUZZ_CHECK(BuildCookieHeader(list) == line);
    return 0;
}
