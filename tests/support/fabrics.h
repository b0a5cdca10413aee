// Fabrics of the simulator made for a test: from a fabric file's text or generated, moved to the
// test's own loopback addresses; and server options that spoil answers by fault rules.
#pragma once

#include <arpa/inet.h>

#include <initializer_list>
#include <stdexcept>
#include <string>

#include "switchsim/core/fabric_file.h"
#include "switchsim/core/faults.h"
#include "switchsim/core/generated_fabric.h"
#include "switchsim/core/server.h"

namespace tvtest {

// The fabric of `json`, its addresses moved together so that the first one is `base`.
inline sim::fabric fabric_at(const std::string& json, const char* base) {
    std::string why;
    auto f = sim::parse_fabric(json, why);
    if (!f) throw std::runtime_error(why);
    sim::move_addresses(*f, inet_addr(base));
    return std::move(*f);
}

// A generated fabric: a ring of `switches` with `devices` spread over them.
inline sim::fabric generated_fabric(std::size_t switches, std::size_t devices, const char* base) {
    return fabric_at(sim::generated_fabric_json({switches, devices}), base);
}

// Server options with the fault rules (in the simulator's --fault syntax) and a seed of their own.
inline sim::server_options with_faults(std::initializer_list<const char*> rules, std::uint32_t seed = 1) {
    sim::server_options o;
    o.seed = seed;
    for (const char* r : rules) {
        std::string why;
        const auto rule = sim::parse_fault(r, why);
        if (!rule) throw std::runtime_error(why);
        o.faults.push_back(*rule);
    }
    return o;
}

}  // namespace tvtest
