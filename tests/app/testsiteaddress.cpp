#include "worker/catchthread.h"

#include <netinet/in.h>
#include <sys/socket.h>

#include <string>

namespace {

// A loopback port picked when the tests start and held, never listening, for the rest of
// the process: no other server on the machine is handed it, while the tests' own servers
// (which bind with the reuse options) can still listen on it.
std::string ReserveSiteAddress()
{
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    const int one = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    setsockopt(fd, SOL_SOCKET, SO_REUSEPORT, &one, sizeof one);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (fd < 0 || bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0
        || getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0)
        return "http://127.0.0.1:1/"; // nothing listens there: the site tests then fail
    return "http://127.0.0.1:" + std::to_string(ntohs(address.sin_port)) + "/";
}

const std::string siteAddress = ReserveSiteAddress();

} // namespace

// The window tests' site, in place of the configured one: their lookups never reach
// whatever the machine runs at the configured address.
const char* const kSiteBaseAddress = siteAddress.c_str();
