// The watcher's one UDP socket for the traps of every fabric it watches, and the trust rules a
// datagram passes before it becomes an event.
//
// A datagram is taken only when it comes from an address of a watched fabric (the address the
// fabric is reached through, or one its switches are known to send from; any source port, as a
// switch sends unsolicited messages from ports of its own), is not all zero, is a whole trap
// message with a good status byte (the library's check for unsolicited messages), and names as
// its source the FC address of one of that fabric's switches. Anything else is refused and
// counted by reason, never reported one by one: a flood must not flood the log.
#pragma once

#include <netinet/in.h>

#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "history/rows.h"
#include "proto/unique_fd.h"
#include "proto/wire.h"

namespace telvar::events {

struct receiver_options {
    std::string address = "0.0.0.0";  // local IPv4 address to bind, dotted; 0.0.0.0: any
    std::uint16_t port = 0;           // 0: the system's choice
};

// Why a datagram was refused.
enum class refusal : std::size_t {
    unknown_sender,   // not from an address of a watched fabric
    all_zero,         // nothing but zero bytes
    malformed,        // not a whole trap message (length, command, checksum)
    bad_status,       // the header's status byte is not 0
    unknown_source,   // its source FC address is not a switch of that fabric
};
inline constexpr std::size_t refusal_kinds = 5;
using refusal_counts = std::array<std::uint64_t, refusal_kinds>;

// "" when nothing was refused, else one line for the log, e.g. "3 datagrams refused: 2 from an
// address not watched, 1 all zero".
std::string describe(const refusal_counts& refused);

class trap_receiver {
public:
    // Binds the socket; throws std::runtime_error with the reason when it cannot.
    explicit trap_receiver(const receiver_options& o);

    // The socket to poll for reading; take() never blocks on it.
    int fd() const { return sock_.get(); }
    // The address and port bound (the port the system chose, when 0 was asked for).
    sockaddr_in local() const { return local_; }

    // Watches a fabric, or replaces what was known of it: the address it is reached through
    // (network order), its switches as the last reading found them, and other addresses its
    // switches send from (their own management addresses, where the reading knows them).
    void watch(const std::string& fabric, in_addr gateway, std::vector<history::switch_ref> switches,
               const std::vector<in_addr>& switch_addresses = {});
    void forget(const std::string& fabric);

    // Reads what is waiting (at most `at_most` datagrams, so that a flood cannot hold the
    // caller; the socket stays readable when more wait) and returns the traps taken, received
    // at `now`.
    std::vector<history::event_row> take(history::time_ms now, std::size_t at_most = 1024);

    // One datagram of `length` bytes (of which `msg` holds what arrived, at most the first
    // 2048) from `from`, judged by the rules above: the trap taken, or nullopt with the reason
    // counted.
    std::optional<history::event_row> judge(const sockaddr_in& from, tv::wire::cbytes msg, std::size_t length,
                                            history::time_ms now);

    // Refused since the receiver was made.
    const refusal_counts& refused() const { return refused_; }

private:
    struct fabric_watch {
        std::vector<history::switch_ref> switches;
        std::vector<std::uint32_t> fc;  // the switches' FC addresses, parsed
        std::vector<in_addr_t> senders;
    };
    void index_senders();

    tv::unique_fd sock_;
    sockaddr_in local_{};
    std::map<std::string, fabric_watch> fabrics_;
    std::map<in_addr_t, const std::string*> by_sender_;  // into fabrics_' keys
    refusal_counts refused_{};
};

}  // namespace telvar::events
