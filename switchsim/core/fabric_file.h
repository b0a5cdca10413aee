// Fabric description files (JSON). The format is documented in docs/fabric-file.md.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "switchsim/core/fabric.h"

namespace sim {

// A fabric file is read only when it is a regular file of at most this many bytes, so that no
// file can make the simulator run out of memory: the largest fabric the model holds, 63 switches
// with every device port a full loop (111,132 devices), takes 11.7 MB as `--generate 63,111132`
// writes it, without names or indentation; 32 MiB leaves room for both. The same limit as the
// tool's JSON documents.
inline constexpr std::uint64_t max_fabric_file_bytes = 32ull << 20;

// Reads a fabric from JSON text; on failure returns nullopt and says where and why.
std::optional<fabric> parse_fabric(const std::string& json_text, std::string& error);
// Reads a fabric file within the limit above; a device, a FIFO or a larger file is refused
// before it is read.
std::optional<fabric> load_fabric_file(const std::string& path, std::string& error);

// Moves every switch's IP address by the same amount, keeping their distances, so that the
// first switch with an address gets `base` (network order).
void move_addresses(fabric& f, in_addr_t base);

}  // namespace sim
