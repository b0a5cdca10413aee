// The fabric generator. It writes a fabric file and lets the fabric-file reader build the
// fabric from it, so a generated fabric obeys every rule a written one does.
#include "switchsim/core/generated_fabric.h"

#include <array>
#include <charconv>
#include <cstdio>
#include <nlohmann/json.hpp>

#include "proto/loop_alpas.h"
#include "switchsim/core/fabric_basics.h"

namespace sim {

namespace {

constexpr std::size_t ports_per_switch = 16;
constexpr std::size_t first_device_port = 2;  // ports 0 and 1 carry the ring
constexpr std::size_t device_ports = ports_per_switch - first_device_port;
constexpr std::size_t max_switches = 63;

// A loop's devices take the valid loop addresses in ascending order.
using tv::valid_alpas;
static_assert(valid_alpas.size() == max_loop_devices);

constexpr std::size_t max_devices_per_switch = device_ports * valid_alpas.size();

// A WWN whose last three bytes say where the device is (chassis, port, slot: each below 256).
std::string wwn_text(unsigned head, std::size_t a, std::size_t b, std::size_t c) {
    char t[32];
    std::snprintf(t, sizeof t, "%02x:00:00:00:5e:%02x:%02x:%02x", head & 0xFF,
                  static_cast<unsigned>(a & 0xFF), static_cast<unsigned>(b & 0xFF),
                  static_cast<unsigned>(c & 0xFF));
    return t;
}

std::string name_of(std::size_t k) { return "sw" + std::to_string(k); }

// Identity values as a fabric grown over the years has them: three models, each on the firmware
// of its generation, hardware revisions and MAC addresses of their own.
struct generation {
    unsigned model;
    const char* flash_rev;
    const char* hw_rev;
    const char* prom_rev;
};
constexpr std::array generations{generation{1, "0x40119a", "0x301", "0x105"},
                                 generation{2, "0x40118", "0x302", "0x105"},
                                 generation{3, "0x30502", "0x303", "0x104"}};

}  // namespace

std::optional<generate_shape> parse_generate_shape(std::string_view text, std::string& error) {
    generate_shape g;
    const auto comma = text.find(',');
    const auto number = [](std::string_view t, std::size_t& out) {
        const auto [end, ec] = std::from_chars(t.data(), t.data() + t.size(), out);
        return ec == std::errc{} && end == t.data() + t.size() && !t.empty();
    };
    if (comma == std::string_view::npos || !number(text.substr(0, comma), g.switches) ||
        !number(text.substr(comma + 1), g.devices)) {
        error = "expected SWITCHES,DEVICES (two whole numbers)";
        return std::nullopt;
    }
    if (g.switches < 1 || g.switches > max_switches) {
        error = "a fabric has 1 to " + std::to_string(max_switches) + " switches";
        return std::nullopt;
    }
    if (g.devices > g.switches * max_devices_per_switch) {
        error = std::to_string(g.switches) + " switches hold at most " +
                std::to_string(g.switches * max_devices_per_switch) + " devices";
        return std::nullopt;
    }
    return g;
}

std::string generated_fabric_json(const generate_shape& g) {
    using nlohmann::json;
    json switches = json::array();
    for (std::size_t k = 1; k <= g.switches; ++k) {
        // Switch k holds its share of the devices, the first ones one more.
        const std::size_t share = g.devices / g.switches + (k <= g.devices % g.switches ? 1 : 0);
        std::array<json, ports_per_switch> ports;
        for (auto& p : ports) p = {{"devices", json::array()}};
        for (std::size_t j = 0; j < share; ++j) {
            const std::size_t port = first_device_port + j % device_ports, slot = j / device_ports;
            ports[port]["devices"].push_back({{"alpa", valid_alpas[slot]},
                                              {"port_wwn", wwn_text(0x21, k, port, slot)},
                                              {"node_wwn", wwn_text(0x20, k, port, slot)},
                                              {"initiator", slot == 0}});
        }
        for (auto& p : ports) {
            if (p["devices"].size() == 1) p["devices"][0]["alpa"] = 0;
            if (p["devices"].size() > 1) p["type"] = "FL";
        }
        const generation& gen = generations[(k - 1) % generations.size()];
        char mac[24];
        std::snprintf(mac, sizeof mac, "02:00:5e:01:%02x:%02x", static_cast<unsigned>(k >> 8 & 0xFF),
                      static_cast<unsigned>(k & 0xFF));
        json sw = {{"name", name_of(k)},
                   {"chassis", k},
                   {"wwn", wwn_text(0x10, k, 0, 0)},
                   {"mac", mac},
                   {"model", gen.model},
                   {"flash_rev", gen.flash_rev},
                   {"hw_rev", gen.hw_rev},
                   {"prom_rev", gen.prom_rev},
                   {"description", "Generated 16-port switch " + name_of(k)},
                   {"ports", ports}};
        if (k == 1) sw["ip"] = "127.0.0.2";
        switches.push_back(std::move(sw));
    }
    json links = json::array();
    if (g.switches > 1)
        for (std::size_t k = 1; k <= g.switches; ++k)
            links.push_back({{"from", name_of(k) + ":2"}, {"to", name_of(k % g.switches + 1) + ":1"}});
    return json{{"switches", switches}, {"links", links}}.dump();
}

}  // namespace sim
