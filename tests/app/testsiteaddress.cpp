#include "worker/catchthread.h"

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <netinet/in.h>
#include <sys/socket.h>
#endif

#include <string>

namespace {

// A loopback port picked when the tests start and held, never listening, for the rest of
// the process: no other server on the machine is handed it, while the tests' own servers
// (which bind with the reuse options) can still listen on it.
std::string ReserveSiteAddress()
{
#ifdef _WIN32
    WSADATA data; // never cleaned up: the socket lives as long as the process
    WSAStartup(MAKEWORD(2, 2), &data);
#endif
    using Socket = decltype(socket(AF_INET, SOCK_STREAM, 0)); // an int; a SOCKET on Windows
    const Socket fd = socket(AF_INET, SOCK_STREAM, 0);
    const int one = 1;
    const auto yes = reinterpret_cast<const char*>(&one);
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, yes, sizeof one);
#ifdef SO_REUSEPORT
    setsockopt(fd, SOL_SOCKET, SO_REUSEPORT, yes, sizeof one);
#endif
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (fd == static_cast<Socket>(-1)
        || bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0
        || getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0)
        return "http://127.0.0.1:1/"; // nothing listens there: the site tests then fail
    return "http://127.0.0.1:" + std::to_string(ntohs(address.sin_port)) + "/";
}

const std::string siteAddress = ReserveSiteAddress();

} // namespace

// The window tests' site, in place of the configured one: their lookups never reach
// whatever the machine runs at the configured address.
const char* const kSiteBaseAddress = siteAddress.c_str();
