// From one received datagram to the answer a switch sends: validation, routing to a switch of
// the fabric, login check and the command's handler; and the framing of an answer, done once
// for every datagram sent.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "proto/wire.h"
#include "switchsim/core/fabric.h"
#include "switchsim/core/handler_index.h"

namespace sim {

struct dispatch_result {
    enum class outcome {
        answered,      // `answer` and `status` make the answer
        silent,        // handled; the switch sends nothing (a reset)
        bad_checksum,  // ignored
        malformed,     // too short, or its length field disagrees: ignored
        unroutable,    // no switch of the fabric that a route leads to has the destination's
                       // chassis: ignored
        restarting,    // the switch it reached or is meant for is restarting: dropped
    };
    outcome what = outcome::malformed;
    std::optional<std::size_t> sw;  // the switch that handled it
    std::uint16_t command = 0;
    std::uint32_t subcommand = 0;
    std::uint32_t seq = 0;
    std::uint32_t dest = 0;         // the header's destination FC address
    const char* name = "";          // the handler's name, "unknown" when there is none
    std::uint8_t status = 0;        // the answer's status byte
    std::vector<std::uint8_t> answer;  // the answer's bytes, its header not yet framed
    std::vector<unsolicited> sends;    // datagrams to send besides the answer, framed
    std::string note;               // the handler's, for the request log
};

// `owner` is the switch whose address the datagram reached; the header's destination picks
// the switch that handles it (0xFFFFFD: the owner; otherwise the chassis in bits 14-19, when
// the links that are up lead there from the owner).
dispatch_result dispatch(const handler_index& index, fabric& f, std::size_t owner,
                         tv::wire::cbytes datagram, in_addr_t from_ip, std::uint16_t from_port);

// Frames an answer: the request's header with the status byte and sequence number given, the
// request's fields that answers repeat (proto/echo.h), the length field and the checksum
// (spoiled on purpose when `corrupt`).
std::vector<std::uint8_t> frame_answer(std::vector<std::uint8_t> answer, tv::wire::cbytes request,
                                       std::uint8_t status, std::uint32_t seq,
                                       bool corrupt = false);

}  // namespace sim
