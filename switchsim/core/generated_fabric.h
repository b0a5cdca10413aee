// Large fabrics made to order, for benchmarks and tests: `switchsim --generate S,D`.
//
// S switches of 16 ports (chassis 1 to S, FC addresses 0x100000 | k << 14) are linked in a
// ring, port 2 of each to port 1 of the next; only the first has an IP address, so the others
// are reached through the fabric. D devices are spread evenly over the switches and there over
// ports 3 to 16: a port with one device is an F_Port, a port with more an FL_Port whose loop
// uses the valid ALPAs in ascending order. The first device of every port is an initiator.
// Switch k is of model 1, 2 or 3 in turn, with that model's firmware and revisions.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace sim {

struct generate_shape {
    std::size_t switches = 0;
    std::size_t devices = 0;
};

// Reads "SWITCHES,DEVICES"; nullopt with a reason when it is not that or does not fit.
std::optional<generate_shape> parse_generate_shape(std::string_view text, std::string& error);

// The fabric file (JSON) of a shape that parse_generate_shape accepted; the first switch has the
// address 127.0.0.2 (move_addresses moves it).
std::string generated_fabric_json(const generate_shape& g);

}  // namespace sim
