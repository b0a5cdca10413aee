// The fabric generator. It writes a fabric file and lets the fabric-file reader build the
// fabric from it, so a generated fabric obeys every rule a written one does.
#include "generated_fabric.h"

#include <array>
#include <charconv>
#include <cstdio>
#include <nlohmann/json.hpp>

#include "fabric_basics.h"

namespace sim {

namespace {

constexpr std::size_t ports_per_switch = 16;
constexpr std::size_t first_device_port = 2;  // ports 0 and 1 carry the ring
constexpr std::size_t device_ports = ports_per_switch - first_device_port;
constexpr std::size_t max_switches = 63;

// The NL_Port addresses of a loop, ascending.
constexpr std::array<std::uint8_t, max_loop_devices> valid_alpas{
    0x01, 0x02, 0x04, 0x08, 0x0f, 0x10, 0x17, 0x18, 0x1b, 0x1d, 0x1e, 0x1f, 0x23, 0x25, 0x26, 0x27,
    0x29, 0x2a, 0x2b, 0x2c, 0x2d, 0x2e, 0x31, 0x32, 0x33, 0x34, 0x35, 0x36, 0x39, 0x3a, 0x3c, 0x43,
    0x45, 0x46, 0x47, 0x49, 0x4a, 0x4b, 0x4c, 0x4d, 0x4e, 0x51, 0x52, 0x53, 0x54, 0x55, 0x56, 0x59,
    0x5a, 0x5c, 0x63, 0x65, 0x66, 0x67, 0x69, 0x6a, 0x6b, 0x6c, 0x6d, 0x6e, 0x71, 0x72, 0x73, 0x74,
    0x75, 0x76, 0x79, 0x7a, 0x7c, 0x80, 0x81, 0x82, 0x84, 0x88, 0x8f, 0x90, 0x97, 0x98, 0x9b, 0x9d,
    0x9e, 0x9f, 0xa3, 0xa5, 0xa6, 0xa7, 0xa9, 0xaa, 0xab, 0xac, 0xad, 0xae, 0xb1, 0xb2, 0xb3, 0xb4,
    0xb5, 0xb6, 0xb9, 0xba, 0xbc, 0xc3, 0xc5, 0xc6, 0xc7, 0xc9, 0xca, 0xcb, 0xcc, 0xcd, 0xce, 0xd1,
    0xd2, 0xd3, 0xd4, 0xd5, 0xd6, 0xd9, 0xda, 0xdc, 0xe0, 0xe1, 0xe2, 0xe4, 0xe8, 0xef};

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

}  // namespace

std::optional<generate_spec> parse_generate_spec(std::string_view text, std::string& error) {
    generate_spec g;
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

std::string generated_fabric_json(const generate_spec& g) {
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
        json sw = {{"name", name_of(k)},
                   {"chassis", k},
                   {"wwn", wwn_text(0x10, k, 0, 0)},
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
