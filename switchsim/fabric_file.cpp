// The JSON reader of fabric files. Every field but the switch's name has a default, so a
// small file describes a small fabric; every error names the field it is about.
#include "fabric_file.h"

#include <arpa/inet.h>

#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <stdexcept>

#include "utconfig.h"

namespace sim {

namespace {

using nlohmann::json;

struct bad_field : std::runtime_error {
    using std::runtime_error::runtime_error;
};

[[noreturn]] void fail(const std::string& where, const std::string& why) {
    throw bad_field(where + ": " + why);
}

// An unsigned number given as a JSON number or as a decimal/0x-hexadecimal text.
std::uint64_t number(const json& j, const std::string& where, std::uint64_t max) {
    std::uint64_t v = 0;
    if (j.is_number_unsigned()) {
        v = j.get<std::uint64_t>();
    } else if (j.is_string()) {
        const std::string t = j.get<std::string>();
        std::size_t used = 0;
        try {
            v = std::stoull(t, &used, 0);
        } catch (const std::exception&) {
            used = 0;
        }
        if (used == 0 || used != t.size()) fail(where, "'" + t + "' is not a number");
    } else {
        fail(where, "expected a number");
    }
    if (v > max) fail(where, std::to_string(v) + " is above " + std::to_string(max));
    return v;
}

template <std::size_t N>
std::array<std::uint8_t, N> hex_bytes(const json& j, const std::string& where) {
    std::string t = j.is_string() ? j.get<std::string>() : std::string();
    std::erase(t, ':');
    std::array<std::uint8_t, N> out{};
    if (t.size() != 2 * N) fail(where, "expected " + std::to_string(2 * N) + " hexadecimal digits");
    for (std::size_t i = 0; i < N; ++i) {
        const std::string pair = t.substr(2 * i, 2);
        if (!std::isxdigit(static_cast<unsigned char>(pair[0])) ||
            !std::isxdigit(static_cast<unsigned char>(pair[1])))
            fail(where, "expected hexadecimal digits");
        out[i] = static_cast<std::uint8_t>(std::stoul(pair, nullptr, 16));
    }
    return out;
}

std::uint8_t code_of(const json& j, const std::string& where,
                     std::initializer_list<std::pair<const char*, std::uint8_t>> names) {
    const std::string t = j.is_string() ? j.get<std::string>() : std::string();
    for (const auto& [name, code] : names)
        if (t == name) return code;
    std::string list;
    for (const auto& [name, code] : names) list += (list.empty() ? "" : ", ") + std::string(name);
    fail(where, "expected one of " + list);
}

template <class T>
void optional_field(const json& obj, const char* key, const std::string& where, T&& read) {
    if (obj.contains(key)) read(obj.at(key), where + "." + key);
}

void check_keys(const json& obj, const std::string& where,
                std::initializer_list<const char*> allowed) {
    if (!obj.is_object()) fail(where, "expected an object");
    for (const auto& [key, value] : obj.items()) {
        bool known = false;
        for (const char* a : allowed) known = known || key == a;
        if (!known) fail(where, "unknown field '" + key + "'");
    }
}

device read_device(const json& j, const std::string& where) {
    check_keys(j, where, {"alpa", "port_wwn", "node_wwn", "initiator"});
    device d;
    optional_field(j, "alpa", where, [&](const json& v, const std::string& w) {
        d.alpa = static_cast<std::uint8_t>(number(v, w, 0xFF));
    });
    d.port_wwn = hex_bytes<8>(j.value("port_wwn", json()), where + ".port_wwn");
    d.node_wwn = hex_bytes<8>(j.value("node_wwn", json()), where + ".node_wwn");
    optional_field(j, "initiator", where, [&](const json& v, const std::string& w) {
        if (!v.is_boolean()) fail(w, "expected true or false");
        d.initiator = v.get<bool>();
    });
    return d;
}

port read_port(const json& j, const std::string& where) {
    check_keys(j, where, {"type", "admin", "loop_disabled", "mfs_mode", "gbic", "failed", "devices"});
    port p;
    optional_field(j, "type", where, [&](const json& v, const std::string& w) {
        p.cfg.type = code_of(v, w, {{"F", 1}, {"FL", 2}, {"T", 3}, {"SL", 4}, {"TL", 5}});
    });
    p.cfg.al_disabled = (p.cfg.type == TV_PORT_TYPE_F || p.cfg.type == TV_PORT_TYPE_T) ? 1 : 0;
    optional_field(j, "admin", where, [&](const json& v, const std::string& w) {
        p.cfg.admin = code_of(v, w, {{"on", 1}, {"off", 2}, {"test", 3}});
    });
    optional_field(j, "loop_disabled", where, [&](const json& v, const std::string& w) {
        if (!v.is_boolean()) fail(w, "expected true or false");
        p.cfg.al_disabled = v.get<bool>() ? 1 : 0;
    });
    optional_field(j, "mfs_mode", where, [&](const json& v, const std::string& w) {
        p.cfg.mfs_mode = static_cast<std::uint8_t>(number(v, w, 6));
    });
    optional_field(j, "gbic", where, [&](const json& v, const std::string& w) {
        p.gbic = static_cast<std::uint8_t>(number(v, w, 0xFF));
    });
    optional_field(j, "failed", where, [&](const json& v, const std::string& w) {
        if (!v.is_boolean()) fail(w, "expected true or false");
        p.failed = v.get<bool>();
    });
    optional_field(j, "devices", where, [&](const json& v, const std::string& w) {
        if (!v.is_array()) fail(w, "expected a list");
        for (std::size_t i = 0; i < v.size(); ++i)
            p.devices.push_back(read_device(v[i], w + "[" + std::to_string(i) + "]"));
    });
    return p;
}

switch_state read_switch(const json& j, const std::string& where, std::size_t index) {
    check_keys(j, where,
               {"name", "ip", "chassis", "fc_addr", "flash_rev", "hw_rev", "prom_rev", "ver_info1",
                "ver_info2", "ver_info4", "wwn", "mac", "model", "power_status", "temp_status",
                "temperature", "fans", "sensor_index", "sensor_states", "description", "contact",
                "location", "login_required", "users", "port_count", "ports"});
    switch_state s;
    s.name = j.value("name", "sw" + std::to_string(index + 1));
    s.chassis = static_cast<std::uint8_t>(index + 1);
    optional_field(j, "ip", where, [&](const json& v, const std::string& w) {
        in_addr a{};
        if (!v.is_string() || inet_pton(AF_INET, v.get<std::string>().c_str(), &a) != 1)
            fail(w, "expected a dotted IPv4 address");
        s.ip = a.s_addr;
    });
    optional_field(j, "chassis", where, [&](const json& v, const std::string& w) {
        s.chassis = static_cast<std::uint8_t>(number(v, w, 63));
    });
    s.fc_addr = fc_addr_of_chassis(s.chassis);
    const auto u32 = [&](const char* key, std::uint32_t& out) {
        optional_field(j, key, where, [&](const json& v, const std::string& w) {
            out = static_cast<std::uint32_t>(number(v, w, 0xFFFFFFFF));
        });
    };
    u32("fc_addr", s.fc_addr);
    if ((s.fc_addr >> 14 & 0x3F) != s.chassis) fail(where + ".fc_addr", "bits 14-19 must hold the chassis number");
    u32("flash_rev", s.flash_rev);
    u32("hw_rev", s.hw_rev);
    u32("prom_rev", s.prom_rev);
    u32("ver_info1", s.ver_info1);
    u32("ver_info2", s.ver_info2);
    u32("ver_info4", s.ver_info4);
    optional_field(j, "wwn", where, [&](const json& v, const std::string& w) { s.wwn = hex_bytes<8>(v, w); });
    optional_field(j, "mac", where, [&](const json& v, const std::string& w) { s.mac = hex_bytes<6>(v, w); });
    const auto u8 = [&](const char* key, std::uint8_t& out) {
        optional_field(j, key, where, [&](const json& v, const std::string& w) {
            out = static_cast<std::uint8_t>(number(v, w, 0xFF));
        });
    };
    u8("model", s.model);
    u8("power_status", s.power_status);
    u8("temp_status", s.temp_status);
    u8("sensor_index", s.sensor_index);
    optional_field(j, "temperature", where, [&](const json& v, const std::string& w) {
        if (!v.is_number_integer()) fail(w, "expected a whole number of half degrees");
        s.temperature = v.get<std::int32_t>();
    });
    optional_field(j, "fans", where, [&](const json& v, const std::string& w) {
        if (!v.is_array() || v.size() != 2) fail(w, "expected a list of two fans");
        for (std::size_t i = 0; i < 2; ++i) {
            const std::string fw = w + "[" + std::to_string(i) + "]";
            check_keys(v[i], fw, {"installed", "status"});
            s.fans[i].installed = v[i].value("installed", true);
            s.fans[i].status = static_cast<std::uint8_t>(number(v[i].value("status", json(0u)), fw + ".status", 0xFF));
        }
    });
    optional_field(j, "sensor_states", where, [&](const json& v, const std::string& w) {
        if (!v.is_array() || v.size() != 12) fail(w, "expected a list of 12 state codes");
        for (std::size_t i = 0; i < 12; ++i)
            s.sensor_states[i] = static_cast<std::uint8_t>(number(v[i], w, 0xFF));
    });
    const auto text = [&](const char* key, std::string& out) {
        optional_field(j, key, where, [&](const json& v, const std::string& w) {
            if (!v.is_string() || v.get<std::string>().size() > 63) fail(w, "expected a text of at most 63 characters");
            out = v.get<std::string>();
        });
    };
    s.description = "Simulated Fibre Channel switch " + s.name;
    text("description", s.description);
    text("contact", s.contact);
    text("location", s.location);
    optional_field(j, "login_required", where, [&](const json& v, const std::string& w) {
        if (!v.is_boolean()) fail(w, "expected true or false");
        s.login_required = v.get<bool>();
    });
    s.users = {{"admin", "password", 3}};
    optional_field(j, "users", where, [&](const json& v, const std::string& w) {
        if (!v.is_array()) fail(w, "expected a list");
        s.users.clear();
        for (std::size_t i = 0; i < v.size(); ++i) {
            const std::string uw = w + "[" + std::to_string(i) + "]";
            check_keys(v[i], uw, {"id", "password", "level"});
            user u{v[i].value("id", ""), v[i].value("password", ""),
                   static_cast<std::uint8_t>(number(v[i].value("level", json(1u)), uw + ".level", 3))};
            if (u.id.empty() || u.id.size() > 8 || u.password.size() > 8)
                fail(uw, "user ids and passwords have 1 to 8 and 0 to 8 characters");
            s.users.push_back(u);
        }
    });
    std::size_t count = 16;
    optional_field(j, "port_count", where, [&](const json& v, const std::string& w) {
        count = number(v, w, max_ports);
    });
    if (j.contains("ports")) {
        const json& ps = j.at("ports");
        if (!ps.is_array()) fail(where + ".ports", "expected a list");
        if (!j.contains("port_count")) count = ps.size();
        if (ps.size() > count) fail(where + ".ports", "more ports than port_count");
        for (std::size_t i = 0; i < ps.size(); ++i)
            s.ports.push_back(read_port(ps[i], where + ".ports[" + std::to_string(i) + "]"));
    }
    while (s.ports.size() < count) s.ports.push_back(port{});
    save_config(s);
    return s;
}

// "NAME:PORT" with the port counted from 1, as the tool prints it.
fabric::link_end link_end_of(const fabric& f, const json& j, const std::string& where) {
    const std::string t = j.is_string() ? j.get<std::string>() : std::string();
    const std::size_t colon = t.rfind(':');
    if (colon == std::string::npos) fail(where, "expected SWITCH:PORT");
    const std::string name = t.substr(0, colon);
    for (std::size_t i = 0; i < f.switches.size(); ++i) {
        if (f.switches[i].name != name) continue;
        const std::uint64_t p = number(json(t.substr(colon + 1)), where, max_ports);
        if (p < 1 || p > f.switches[i].ports.size()) fail(where, "no port " + std::to_string(p) + " on " + name);
        return {i, static_cast<std::uint8_t>(p - 1)};
    }
    fail(where, "no switch named '" + name + "'");
}

}  // namespace

std::optional<fabric> parse_fabric(const std::string& json_text, std::string& error) {
    try {
        const json doc = json::parse(json_text);
        check_keys(doc, "fabric", {"switches", "links"});
        fabric f;
        const json& sws = doc.value("switches", json::array());
        if (!sws.is_array()) fail("switches", "expected a list");
        for (std::size_t i = 0; i < sws.size(); ++i)
            f.switches.push_back(read_switch(sws[i], "switches[" + std::to_string(i) + "]", i));
        const json& links = doc.value("links", json::array());
        if (!links.is_array()) fail("links", "expected a list");
        for (std::size_t i = 0; i < links.size(); ++i) {
            const std::string w = "links[" + std::to_string(i) + "]";
            check_keys(links[i], w, {"from", "to"});
            const auto a = link_end_of(f, links[i].value("from", json()), w + ".from");
            const auto b = link_end_of(f, links[i].value("to", json()), w + ".to");
            f.links.push_back({a.sw, a.port, b.sw, b.port});
        }
        if (std::string why = check_fabric(f); !why.empty()) fail("fabric", why);
        return f;
    } catch (const bad_field& e) {
        error = e.what();
    } catch (const json::exception& e) {
        error = std::string("not valid JSON: ") + e.what();
    }
    return std::nullopt;
}

std::optional<fabric> load_fabric_file(const std::string& path, std::string& error) {
    std::ifstream in(path);
    if (!in) {
        error = path + ": cannot be read";
        return std::nullopt;
    }
    std::ostringstream text;
    text << in.rdbuf();
    auto f = parse_fabric(text.str(), error);
    if (!f) error = path + ": " + error;
    return f;
}

}  // namespace sim
