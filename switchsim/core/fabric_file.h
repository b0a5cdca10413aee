// Fabric description files (JSON). The format is documented in docs/fabric-file.md.
#pragma once

#include <optional>
#include <string>

#include "switchsim/core/fabric.h"

namespace sim {

// Reads a fabric from JSON text; on failure returns nullopt and says where and why.
std::optional<fabric> parse_fabric(const std::string& json_text, std::string& error);
std::optional<fabric> load_fabric_file(const std::string& path, std::string& error);

// Moves every switch's IP address by the same amount, keeping their distances, so that the
// first switch with an address gets `base` (network order).
void move_addresses(fabric& f, in_addr_t base);

}  // namespace sim
