#include "exporter/switch_memory.h"

#include <algorithm>
#include <set>

namespace exporter {

void switch_memory::complete(scrape_result& r, steady::time_point now) const {
    std::set<std::string> up_wwns;
    std::map<std::string, std::set<std::uint32_t>> listed;
    for (switch_sample& s : r.switches) {
        if (s.fc_address == 0)
            if (const auto it = target_switch_.find(s.target); it != target_switch_.end()) s.fc_address = it->second;
        if (s.up) up_wwns.insert(s.wwn);
        listed[s.target].insert(s.fc_address);
    }
    for (const auto& [target, switches] : switches_)
        for (const auto& [address, s] : switches)
            if (!expired(s, now) && !listed[target].contains(address) && !up_wwns.contains(s.wwn))
                r.switches.emplace_back(target, address);
}

void switch_memory::remember(const scrape_result& r, steady::time_point now) {
    std::set<std::string> targets;
    for (const switch_sample& s : r.switches) {
        // The first switch listed for a target is the target's own.
        const bool own = targets.insert(s.target).second;
        if (!s.up || s.fc_address == 0) continue;
        if (own) target_switch_[s.target] = s.fc_address;
        switches_[s.target][s.fc_address] = seen{s.wwn, now};
    }
    for (auto target = switches_.begin(); target != switches_.end();) {
        auto& switches = target->second;
        std::erase_if(switches, [&](const auto& entry) { return expired(entry.second, now); });
        while (switches.size() > max_per_target)
            switches.erase(std::ranges::min_element(
                switches, [](const auto& a, const auto& b) { return a.second.answered < b.second.answered; }));
        target = switches.empty() ? switches_.erase(target) : std::next(target);
    }
}

}  // namespace exporter
