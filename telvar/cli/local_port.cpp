// See local_port.h. The port is tried the way opening a context binds it: on the local address
// that leads to the switch. Another process may take it between the try and the command's own
// bind; the command then goes through its retries as it would have without the try.
#include "telvar/cli/local_port.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "telvar/framework/notices.h"
#include "telvar/framework/output.h"
#include "telvar/telvar.h"

namespace telvar::tool {

namespace {

// The switch's IPv4 address as opening a context resolves it, or 0.
std::uint32_t switch_address(const char* text) {
    in_addr a{};
    if (inet_aton(text, &a) != 0) return a.s_addr;
    addrinfo hints{};
    hints.ai_family = AF_INET;
    addrinfo* found = nullptr;
    if (getaddrinfo(text, nullptr, &hints, &found) != 0) return 0;
    const std::uint32_t addr = reinterpret_cast<const sockaddr_in*>(found->ai_addr)->sin_addr.s_addr;
    freeaddrinfo(found);
    return addr;
}

// Whether binding the port on the local address towards the switch fails because someone holds
// it. Any other trouble is the command's to meet and report.
bool port_taken(std::uint32_t remote, std::uint16_t port) {
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return false;
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_addr.s_addr = tv_get_local_ipaddr(&remote);
    local.sin_port = htons(port);
    const bool taken = ::bind(fd, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0 && errno == EADDRINUSE;
    ::close(fd);
    return taken;
}

}  // namespace

void choose_local_port(const char* address, std::vector<char*>& line) {
    if (address == nullptr || std::getenv("TELVARPORT") != nullptr || std::getenv("telvarport") != nullptr)
        return;
    // -port stands among the options, before the address.
    for (std::size_t i = 1; i < line.size() && line[i] != address; ++i)
        if (std::string_view(line[i]) == "-port") return;
    const int32_t port = local_udp_port(nullptr);
    const std::uint32_t remote = switch_address(address);
    const int saved = errno;
    const bool taken = remote != 0 && port_taken(remote, static_cast<std::uint16_t>(port));
    errno = saved;
    if (!taken) return;
    static char option[] = "-port";
    static char any[] = "0";
    line.insert(line.begin() + 1, {option, any});
    note("local UDP port %d is in use (another telvar, or a trap_listen still running); "
         "the system chooses one instead",
         port);
}

}  // namespace telvar::tool
