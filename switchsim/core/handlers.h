// What every command handler of the simulator sees and fills.
//
// The dispatcher routes a request to a switch, finds the handler of its command (and, for the
// configuration command 0x30, of its sub-command), lets it read the request and the fabric and
// build the answer's bytes; framing (header, sequence number, length, checksum) is done once,
// afterwards. Each command family keeps its handlers in a file of its own (family.h).
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "proto/wire.h"
#include "switchsim/core/fabric.h"
#include "switchsim/core/family.h"

namespace sim {

// Status byte a switch answers with when a request's fields make no sense to it.
inline constexpr std::uint8_t status_bad_request = 0x02;

struct request_ctx {
    fabric& fab;
    std::size_t sw;            // the switch the request was routed to
    tv::wire::cbytes req;      // the whole request, header included
    in_addr_t from_ip;         // the manager
    std::uint16_t from_port;
    std::vector<std::uint8_t> answer{};  // the whole answer; header and checksum filled later
    std::uint8_t status = 0;
    bool silent = false;       // the switch sends no answer
    std::vector<unsolicited> sends{};  // datagrams the switch sends after its answer (traps)
    std::string note{};        // what the handler did worth a line of the request log

    switch_state& self() { return fab.switches[sw]; }
    // This switch's sub-record of family state S.
    template <class S>
    S& state() {
        return self().get<S>();
    }
    // Sizes the answer (total length, header and checksum included) and returns it zeroed.
    tv::wire::bytes reply(std::size_t total_len) {
        answer.assign(total_len, 0);
        return answer;
    }
    // A port number byte of the request that names a port of this switch.
    bool valid_port(std::size_t port) const { return port < fab.switches[sw].ports.size(); }
    std::uint64_t session() const { return peer_key(from_ip, from_port); }
};

}  // namespace sim
