#include "tests/net/testserver.h"
#include "worker/catchthread.h"

#include <string>

namespace {

// A port picked when the tests start and held for the rest of the process: no other server on
// the machine is handed it, while the tests' own servers can still listen on it.
std::string ReserveSiteAddress()
{
    const int port = CTestServer::ReservedPort();
    // Nothing listens on port 1: the site tests then fail.
    return "http://127.0.0.1:" + std::to_string(port != 0 ? port : 1) + "/";
}

const std::string siteAddress = ReserveSiteAddress();

} // namespace

// The window tests' site, in place of the configured one: their lookups never reach
// whatever the machine runs at the configured address.
const char* const kSiteBaseAddress = siteAddress.c_str();
