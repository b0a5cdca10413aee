// From one received datagram to the answer a switch sends: validation, routing to a switch of
// the fabric, login check, the command's handler, and the answer's framing.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "fabric.h"
#include "wire.h"

namespace sim {

struct dispatch_result {
    enum class outcome {
        answered,      // `answer` holds the framed answer
        silent,        // handled; the switch sends nothing (a reset)
        bad_checksum,  // ignored
        malformed,     // too short, or its length field disagrees: ignored
        unroutable,    // no switch of the fabric has the destination's chassis: ignored
    };
    outcome what = outcome::malformed;
    std::optional<std::size_t> sw;  // the switch that handled it
    std::uint16_t command = 0;
    std::uint32_t subcommand = 0;
    std::uint32_t seq = 0;
    std::uint32_t dest = 0;         // the header's destination FC address
    const char* name = "";          // the handler's name, "unknown" when there is none
    std::vector<std::uint8_t> answer;
};

// `owner` is the switch whose address the datagram reached; the header's destination picks
// the switch that handles it (0xFFFFFD: the owner; otherwise the chassis in bits 14-19).
dispatch_result dispatch(fabric& f, std::size_t owner, tv::wire::cbytes datagram,
                         in_addr_t from_ip, std::uint16_t from_port);

// Frames an answer in place: the request's header with the status byte, the length field
// and the checksum.
void frame_answer(std::vector<std::uint8_t>& answer, tv::wire::cbytes request,
                  std::uint8_t status);

}  // namespace sim
