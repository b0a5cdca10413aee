#include "switchsim/core/handler_index.h"

#include <cstdio>

#include "switchsim/core/fabric.h"
#include "telvar/utilmsg.h"

namespace sim {

namespace {

// Commands without sub-commands are one key each.
std::uint64_t key_of(std::uint16_t command, std::uint32_t subcommand) {
    return std::uint64_t{command} << 32 | (has_subcommands(command) ? subcommand : 0);
}

}  // namespace

std::optional<handler_index> handler_index::build(std::span<const family_info* const> list,
                                                  std::string& error) {
    handler_index index;
    std::unordered_map<std::uint64_t, const family_info*> owner;
    for (const family_info* f : list) {
        for (const handler_entry& h : f->handlers) {
            const std::uint64_t key = key_of(h.command, h.subcommand);
            const auto [it, fresh] = owner.emplace(key, f);
            if (!fresh) {
                char what[64];
                std::snprintf(what, sizeof what, "command 0x%x sub-command 0x%x", h.command,
                              has_subcommands(h.command) ? h.subcommand : 0u);
                error = "families '" + std::string(it->second->name) + "' and '" +
                        std::string(f->name) + "' both handle " + what;
                return std::nullopt;
            }
            index.map_.emplace(key, &h);
        }
    }
    return index;
}

const handler_entry* handler_index::find(std::uint16_t command, std::uint32_t subcommand) const {
    const auto it = map_.find(key_of(command, subcommand));
    return it == map_.end() ? nullptr : it->second;
}

std::vector<const family_info*> all_families() {
    std::vector<const family_info*> out;
    families::each([&](const family_info& f) { out.push_back(&f); });
    return out;
}

}  // namespace sim
