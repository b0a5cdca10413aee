// The request lookup of the simulator: every family's handlers, indexed by command and
// configuration sub-command, built once from the family list.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <unordered_map>
#include <vector>

#include "switchsim/core/family.h"

namespace sim {

class handler_index {
public:
    // Builds the lookup; nullopt, with both families named, when two of them claim the same
    // command and sub-command.
    static std::optional<handler_index> build(std::span<const family_info* const> list,
                                              std::string& error);
    // The handler of a request, or null for a command the switch does not know.
    const handler_entry* find(std::uint16_t command, std::uint32_t subcommand) const;

private:
    std::unordered_map<std::uint64_t, const handler_entry*> map_;
};

// The families of families.h, in their order.
std::vector<const family_info*> all_families();

}  // namespace sim
