// The reading of a courier-detection reply: the courier object and its "exname".
#include "tests/fuzz/fuzzcheck.h"
#include "worker/sitereplies.h"

#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string reply(reinterpret_cast<const char*>(data), size);
    const CourierDetection detection = ReadCourierDetection(reply);
    FUZZ_CHECK(detection.usable || detection.exname.empty());

    // The reply counts only up to its first zero byte.
    const size_t zero = reply.find('\0');
    if (zero != std::string::npos) {
        const CourierDetection cut = ReadCourierDetection(reply.substr(0, zero));
        FUZZ_CHECK(cut.usable == detection.usable && cut.exname == detection.exname);
    }
    return 0;
}
