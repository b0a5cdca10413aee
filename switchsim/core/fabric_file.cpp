// The JSON reader of fabric files. Every field but the switch's name has a default, so a
// small file describes a small fabric; every error names the field it is about.
//
// The reader knows the fields of a switch's place in the fabric and of its ports' hardware;
// each command family reads its own fields (family.h), so the fields a switch or port object
// may hold are the core's and every family's.
#include "switchsim/core/fabric_file.h"

#include <arpa/inet.h>

#include <array>
#include <cstring>
#include <nlohmann/json.hpp>
#include <set>
#include <vector>

#include "proto/whole_file.h"
#include "switchsim/core/fabric_fields.h"

namespace sim {

namespace {

using nlohmann::json;

// Deeper documents are refused while they are read, long before they could exhaust a stack.
constexpr int max_depth = 32;

constexpr std::array<std::string_view, 2> fabric_keys{"switches", "links"};
constexpr std::array<std::string_view, 7> switch_keys{"name",       "ip",    "chassis",   "fc_addr",
                                                      "port_count", "ports", "latency_ms"};
constexpr std::array<std::string_view, 3> port_keys{"gbic", "failed", "devices"};
constexpr std::array<std::string_view, 9> device_keys{
    "alpa", "port_wwn", "node_wwn", "initiator", "port_name", "node_name", "fc4_types", "cos", "ip"};
constexpr std::array<std::string_view, 2> link_keys{"from", "to"};

// Refuses duplicate keys and deep nesting while the text is parsed: the parser would keep the
// last of two equal keys without a word.
class strict_parse {
public:
    bool operator()(int depth, json::parse_event_t event, json& parsed) {
        switch (event) {
            case json::parse_event_t::object_start:
            case json::parse_event_t::array_start:
                if (depth >= max_depth)
                    throw fabric_error("fabric: nested deeper than " + std::to_string(max_depth) +
                                       " levels");
                keys_.emplace_back();
                break;
            case json::parse_event_t::object_end:
            case json::parse_event_t::array_end:
                if (!keys_.empty()) keys_.pop_back();
                break;
            case json::parse_event_t::key:
                if (!keys_.empty() && !keys_.back().insert(parsed.get<std::string>()).second)
                    throw fabric_error("fabric: the key '" + parsed.get<std::string>() +
                                       "' appears twice in one object");
                break;
            case json::parse_event_t::value: break;
        }
        return true;
    }

private:
    std::vector<std::set<std::string>> keys_;
};

// The allowed fields of the fabric, switch and port objects: the core's and every family's.
struct allowed_keys {
    std::vector<std::span<const std::string_view>> of_fabric{fabric_keys};
    std::vector<std::span<const std::string_view>> of_switch{switch_keys};
    std::vector<std::span<const std::string_view>> of_port{port_keys};
    allowed_keys() {
        families::each([&](const family_info& f) {
            of_fabric.push_back(f.fabric_keys);
            of_switch.push_back(f.switch_keys);
            of_port.push_back(f.port_keys);
        });
    }
};

device read_device(const fields& d) {
    d.expect_object(device_keys);
    device out;
    d.number("alpa", out.alpa, 0xFF);
    d.at("port_wwn").as_hex(out.port_wwn);
    d.at("node_wwn").as_hex(out.node_wwn);
    d.boolean("initiator", out.initiator);
    d.text("port_name", out.port_name, 255);
    d.text("node_name", out.node_name, 255);
    if (d.has("fc4_types")) {
        out.fc4_types.clear();
        d.at("fc4_types").each([&](const fields& t, std::size_t) {
            out.fc4_types.push_back(static_cast<std::uint8_t>(t.as_number(0xFF)));
        });
    }
    d.number("cos", out.cos, 0xFFFFFFFF);
    if (d.has("ip")) {
        in_addr a{};
        const fields ip = d.at("ip");
        if (inet_pton(AF_INET, ip.as_text(15).c_str(), &a) != 1) ip.fail("expected a dotted IPv4 address");
        std::memcpy(out.ip.data(), &a.s_addr, out.ip.size());
    }
    return out;
}

void read_port_hardware(const fields& p, port& out) {
    p.number("gbic", out.gbic, 0xFF);
    p.boolean("failed", out.failed);
    if (!p.has("devices")) return;
    p.at("devices").each([&](const fields& d, std::size_t) {
        device dev = read_device(d);
        // Each device's address on the port is its ALPA.
        for (const auto& other : out.devices)
            if (other.alpa == dev.alpa) d.fail("another device of the port has ALPA " + std::to_string(dev.alpa));
        if (out.devices.size() == max_loop_devices)
            d.fail("a port holds at most " + std::to_string(max_loop_devices) + " devices");
        out.devices.push_back(std::move(dev));
    });
}

switch_state read_switch(const fields& j, std::size_t index, const allowed_keys& allowed) {
    j.expect_object(allowed.of_switch);
    switch_state s;
    s.name = "sw" + std::to_string(index + 1);
    j.text("name", s.name, 32);
    if (s.name.empty()) j.at("name").fail("a switch needs a name");
    s.chassis = static_cast<std::uint8_t>(index + 1);
    if (j.has("ip")) {
        in_addr a{};
        const fields ip = j.at("ip");
        if (inet_pton(AF_INET, ip.as_text(15).c_str(), &a) != 1 || a.s_addr == 0)
            ip.fail("expected a dotted IPv4 address");
        s.ip = a.s_addr;
    }
    j.number("chassis", s.chassis, 63);
    s.fc_addr = fc_addr_of_chassis(s.chassis);
    j.number("fc_addr", s.fc_addr, 0xFFFFFF);
    if (chassis_of(s.fc_addr) != s.chassis)
        j.at("fc_addr").fail("bits 14-19 must hold the chassis number");
    std::uint32_t latency_ms = 0;
    j.number("latency_ms", latency_ms, max_latency_ms);
    s.latency = std::chrono::milliseconds(latency_ms);

    std::size_t count = 16;
    if (j.has("ports")) count = j.at("ports").list_size();
    j.number("port_count", count, max_ports);
    if (count == 0) j.at("port_count").fail("a switch has 1 to " + std::to_string(max_ports) + " ports");
    if (j.has("ports") && j.at("ports").list_size() > count)
        j.at("ports").fail("more ports than port_count");
    s.ports.resize(count);

    families::each([&](const family_info& f) {
        if (f.seed) f.seed(s);
    });
    families::each([&](const family_info& f) {
        if (f.read_switch) f.read_switch(j, s);
    });
    if (j.has("ports")) {
        j.at("ports").each([&](const fields& p, std::size_t i) {
            p.expect_object(allowed.of_port);
            read_port_hardware(p, s.ports[i]);
            families::each([&](const family_info& f) {
                if (f.read_port) f.read_port(p, s, i);
            });
        });
    }
    families::each([&](const family_info& f) {
        if (f.loaded) f.loaded(s);
    });
    return s;
}

// "NAME:PORT" with the port counted from 1, as the tool prints it.
fabric::link_end link_end_of(const fabric& f, const fields& end) {
    const std::string t = end.as_text(64);
    const std::size_t colon = t.rfind(':');
    if (colon == std::string::npos) end.fail("expected SWITCH:PORT");
    const std::string name = t.substr(0, colon);
    for (std::size_t i = 0; i < f.switches.size(); ++i) {
        if (f.switches[i].name != name) continue;
        const json port_text = t.substr(colon + 1);
        const std::uint64_t p = fields(&port_text, end.where()).as_number(max_ports);
        if (p < 1 || p > f.switches[i].ports.size())
            end.fail("no port " + std::to_string(p) + " on " + name);
        return {i, static_cast<std::uint8_t>(p - 1)};
    }
    end.fail("no switch named '" + name + "'");
}

}  // namespace

std::optional<fabric> parse_fabric(const std::string& json_text, std::string& error) {
    try {
        const json doc = json::parse(json_text, strict_parse{});
        const fields top(&doc, "");
        const allowed_keys allowed;
        top.expect_object(allowed.of_fabric);
        fabric f;
        if (top.has("switches"))
            top.at("switches").each([&](const fields& s, std::size_t i) {
                f.switches.push_back(read_switch(s, i, allowed));
            });
        if (top.has("links"))
            top.at("links").each([&](const fields& l, std::size_t) {
                l.expect_object(link_keys);
                const auto a = link_end_of(f, l.at("from"));
                const auto b = link_end_of(f, l.at("to"));
                f.links.push_back({a.sw, a.port, b.sw, b.port});
            });
        if (std::string why = check_fabric(f); !why.empty()) throw fabric_error("fabric: " + why);
        families::each([&](const family_info& fi) {
            if (fi.read_fabric) fi.read_fabric(top, f);
        });
        return f;
    } catch (const fabric_error& e) {
        error = e.what();
    } catch (const json::exception& e) {
        error = std::string("not valid JSON: ") + e.what();
    }
    return std::nullopt;
}

std::optional<fabric> load_fabric_file(const std::string& path, std::string& error) {
    const tv::whole_file file = tv::read_whole_file(path.c_str(), max_fabric_file_bytes);
    if (!file) {
        error = path + ": " + tv::file_fault_text(file, max_fabric_file_bytes);
        return std::nullopt;
    }
    auto f = parse_fabric(file.text, error);
    if (!f) error = path + ": " + error;
    return f;
}

void move_addresses(fabric& f, in_addr_t base) {
    std::uint32_t first = 0;
    for (const auto& s : f.switches)
        if (s.ip != 0 && first == 0) first = ntohl(s.ip);
    for (auto& s : f.switches)
        if (s.ip != 0) s.ip = htonl(ntohl(s.ip) - first + ntohl(base));
}

}  // namespace sim
