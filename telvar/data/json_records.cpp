// JSON writers of the library's records (see json_records.h).
#include "telvar/data/json_records.h"

#include <arpa/inet.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <span>

#include "proto/topology/layout.h"
#include "telvar/data/json_text.h"
#include "telvar/framework/name_tables.h"
#include "telvar/framework/port_counter_table.h"
#include "telvar/telvar.h"
#include "tv_api/operations/port_status_decode.h"

namespace telvar::json {

namespace {

std::string hex_pairs(const std::uint8_t* bytes, std::size_t n) {
    std::string t;
    put_hex_pairs(t, bytes, n);
    return t;
}

int hex_value(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    const char l = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return l >= 'a' && l <= 'f' ? l - 'a' + 10 : -1;
}

// A name without the padding that lines the text reports up.
std::string trimmed(std::string s) {
    s.erase(0, s.find_first_not_of(' '));
    s.erase(s.find_last_not_of(' ') + 1);
    return s;
}

std::string word_of(std::span<const char* const> words, std::int64_t code) {
    if (code >= 0 && static_cast<std::uint64_t>(code) < words.size() && words[code] != nullptr)
        return words[code];
    return "unrecognized (" + std::to_string(code) + ")";
}

constexpr std::array<const char*, 2> health_words{"ok", "failed"};
// Transceiver words by type code, as the chassis report names them; code 6 has none.
constexpr std::array<const char*, 8> gbic_words{
    "optical shortwave", "optical longwave", "optical shortwave", "copper",
    "optical longwave",  "copper",           nullptr,             "none installed"};
constexpr std::array<const char*, 5> zone_type_words{nullptr, "hard", "name_server", "broadcast", "sl"};

json fan(int code) { return code == -1 ? json("not installed") : json(word_of(health_words, code)); }

}  // namespace

std::string wwn_text(const std::uint8_t* wwn) { return hex_pairs(wwn, 8); }

std::optional<wwn_bytes> parse_wwn(std::string_view text) {
    const bool colons = text.size() == 23;
    if (text.size() != 16 && !colons) return std::nullopt;
    wwn_bytes w{};
    for (std::size_t i = 0; i < 8; ++i) {
        const std::size_t at = colons ? 3 * i : 2 * i;
        if (colons && i > 0 && text[at - 1] != ':') return std::nullopt;
        const int hi = hex_value(text[at]), lo = hex_value(text[at + 1]);
        if (hi < 0 || lo < 0) return std::nullopt;
        w[i] = static_cast<std::uint8_t>(hi << 4 | lo);
    }
    return w;
}

std::string fc_address_text(std::uint32_t address) {
    char t[16];
    std::snprintf(t, sizeof t, "0x%06x", address & 0xFFFFFFu);
    return t;
}

std::optional<std::uint32_t> parse_fc_address(std::string_view text) {
    if (text.starts_with("0x") || text.starts_with("0X")) text.remove_prefix(2);
    if (text.empty() || text.size() > 6) return std::nullopt;
    std::uint32_t v = 0;
    for (const char c : text) {
        const int d = hex_value(c);
        if (d < 0) return std::nullopt;
        v = v << 4 | static_cast<std::uint32_t>(d);
    }
    return v;
}

std::string ipv4_text(std::uint32_t a) {
    char t[20];
    std::snprintf(t, sizeof t, "%u.%u.%u.%u", a >> 24, (a >> 16) & 0xFF, (a >> 8) & 0xFF, a & 0xFF);
    return t;
}

json status(int32_t code) {
    std::string message = "Unrecognized error (" + std::to_string(code) + ")";
    if (const char* text = tv_status_text(code)) {
        message = text;
        if (!message.empty() && message.back() == '\n') message.pop_back();
    }
    json st{{"code", code}, {"message", message}};
    // The reads behind the JSON forms get 107 only from a switch's busy status byte: a passing
    // state, worth retrying, which the bare code does not say.
    if (code == TV_ERR_SWITCH_BUSY) st["busy"] = true;
    return st;
}

std::string port_type_word(std::int64_t code) {
    return code == TV_PORT_TYPE_INVALID ? "invalid" : trimmed(name_of(Port_Types, code));
}

std::string port_state_word(std::int64_t code) { return trimmed(name_of(Port_State, code)); }

std::string zone_type_word(std::uint32_t type) { return word_of(zone_type_words, type); }

std::string ns_zoning_word(std::uint32_t type) {
    return type == 0 ? "port" : type == 1 ? "wwn" : "unrecognized (" + std::to_string(type) + ")";
}

json of(const tv_version_info& v) {
    return {{"hw_rev", v.hw_rev},
            {"prom_rev", v.prom_rev},
            {"flash_rev", v.flash_rev},
            {"fc_address", fc_address_text(v.ver_info3)},
            {"wwn", wwn_text(v.wwn)},
            {"mac", hex_pairs(v.mac, sizeof v.mac)}};
}

json of(const tv_chassis_status& s) {
    json gbics = json::array();
    const int listed = std::min<int>(s.num_ports, TV_MAX_GBIC);
    for (int i = 0; i < listed; ++i) gbics.push_back({{"port", i + 1}, {"type", word_of(gbic_words, s.gbic_type[i])}});
    return {{"power", word_of(health_words, s.power_status)},
            {"temperature_status", word_of(health_words, s.temp_status)},
            {"temperature", s.temperature * 0.5},
            {"fans", {fan(s.fan1_status), fan(s.fan2_status)}},
            {"ports", s.num_ports},
            {"transceivers", gbics}};
}

json of(const tv_sysconfig& c) {
    const auto text = [](const char (&field)[64]) { return std::string(field, strnlen(field, sizeof field)); };
    return {{"uptime", c.uptime / 100},
            {"description", text(c.description)},
            {"contact", text(c.text2)},
            {"location", text(c.text3)}};
}

// A port type word of the name server ("N", "NL", ...) without its padding.
void put_device_type(std::string& out, std::uint8_t code) {
    for (const tv_code_name& n : Device_Port_Types)
        if (n.code == code) {
            std::string_view name = n.name;
            name.remove_suffix(name.size() - name.find_last_not_of(' ') - 1);
            put_string(out, name);
            return;
        }
    put_string(out, "unrecognized (" + std::to_string(code) + ")");
}

void put_device(std::string& out, const tv_nameserver_entry& e) {
    object_text o(out);
    put_int(o.key("chassis"), tv::layout::topology::chassis_of(e.port_id));
    put_int(o.key("cos"), e.cos);
    std::string& fc4 = o.key("fc4_types");
    fc4 += '[';
    bool first = true;
    for (int t = 0; t < 256; ++t)
        if (e.fc4_types[t >> 5] & (1u << (t & 31))) {
            if (!first) fc4 += ',';
            put_int(fc4, t);
            first = false;
        }
    fc4 += ']';
    put_fc_address(o.key("fc_address"), e.port_id);
    put_ipv4(o.key("ip"), e.ip_addr);
    put_string(o.key("node_name"), std::string_view(e.node_symname, strnlen(e.node_symname, sizeof e.node_symname)));
    put_wwn(o.key("node_wwn"), e.node_wwn);
    put_int(o.key("port"), e.port + 1);
    put_string(o.key("port_name"), std::string_view(e.port_symname, strnlen(e.port_symname, sizeof e.port_symname)));
    put_wwn(o.key("port_wwn"), e.port_wwn);
    put_device_type(o.key("type"), e.port_type);
}

namespace {

// A WWN that was looked up: null when it was not found (all zero), as the text says "<missing>".
void put_found_wwn(std::string& out, const std::uint8_t* wwn) {
    if (std::all_of(wwn, wwn + 8, [](std::uint8_t b) { return b == 0; }))
        out += "null";
    else
        put_wwn(out, wwn);
}

}  // namespace

void put_attached(std::string& out, const tv_port_status& s) {
    object_text o(out);
    const bool detail = s.operational != TV_PORT_STATE_OFF && s.logged_in != 0;
    if (detail && s.type == TV_PORT_TYPE_F) {
        object_text d(o.key("device"));
        put_fc_address(d.key("fc_address"), s.f_port.port_id);
        put_found_wwn(d.key("node_wwn"), s.f_port.node_wwn);
        put_found_wwn(d.key("port_wwn"), s.f_port.port_wwn);
    }
    put_bool(o.key("logged_in"), s.logged_in != 0);
    if (detail && tv::has_loop_detail(s.type)) {
        object_text loop(o.key("loop"));
        put_int(loop.key("address"), s.loop.address);
        std::string& list = loop.key("devices");
        list += '[';
        // Arrays that are missing (a record the library did not fill) list no device.
        const bool filled = s.loop.alpas != nullptr && s.loop.port_wwns != nullptr && s.loop.node_wwns != nullptr;
        for (std::uint32_t i = 0; filled && i < s.loop.count; ++i) {
            if (i > 0) list += ',';
            object_text d(list);
            put_int(d.key("alpa"), s.loop.alpas[i]);
            put_found_wwn(d.key("node_wwn"), s.loop.node_wwns[i]);
            put_found_wwn(d.key("port_wwn"), s.loop.port_wwns[i]);
        }
        list += ']';
    }
    if (detail && s.type == TV_PORT_TYPE_T) {
        object_text sw(o.key("switch"));
        put_fc_address(sw.key("fc_address"), s.t_port.remote_fc_addr);
        put_ipv4(sw.key("ip"), ntohl(s.t_port.remote_ip));
        put_found_wwn(sw.key("wwn"), s.t_port.remote_wwn);
    }
}

namespace {

// The counters in the order of their names, as the document lists them.
constexpr auto counters_by_name = [] {
    auto by_name = port_counters;
    std::ranges::sort(by_name, {}, [](const port_counter& c) { return std::string_view(c.name); });
    return by_name;
}();

json parsed(const std::string& text) { return json::parse(text); }

}  // namespace

void put_counters(std::string& out, const tv_port_counters& c) {
    object_text o(out);
    for (const port_counter& p : counters_by_name) put_int(o.key(p.name), c.counter[p.word]);
}

json of(const tv_nameserver_entry& e) {
    std::string text;
    put_device(text, e);
    return parsed(text);
}

json of(const tv_port_counters& c) {
    std::string text;
    put_counters(text, c);
    return parsed(text);
}

json of(const tv_port_status& s) {
    std::string attached;
    put_attached(attached, s);
    return {{"port", s.port + 1},
            {"type", port_type_word(s.type)},
            {"admin", port_state_word(s.admin)},
            {"operational", port_state_word(s.operational)},
            {"attached", parsed(attached)}};
}

json of(const tv_test_status_info& s, int32_t port) {
    // The entries the text report lists: one port, or every port the record holds.
    std::uint32_t first = 0, end = 0;
    if (port == TV_ALL_PORTS) {
        end = std::min<std::uint32_t>(s.port_count, TV_TEST_PORTS);
    } else if (port >= 0 && port < TV_TEST_PORTS) {
        first = static_cast<std::uint32_t>(port);
        end = first + 1;
    }
    json ports = json::array();
    for (std::uint32_t i = first; i < end; ++i)
        ports.push_back({{"port", i + 1},
                         {"state", s.port_test_status[i]},
                         {"passes", s.port_test_count[i]},
                         {"failures", s.port_fail_count[i]}});
    return {{"test_fail_count", s.test_fail_cnt}, {"ports", ports}};
}

json mfs_modes_of(const tv_port_mfs_modes& m, int32_t port) {
    json out = json::array();
    if (m.modes == nullptr) return out;
    std::uint32_t first = 0, end = 0;
    if (port == TV_ALL_PORTS) {
        end = std::min(static_cast<std::uint32_t>(std::max(Max_Ports, 0)), m.count);
    } else if (port >= 0 && static_cast<std::uint32_t>(port) < m.count) {
        first = static_cast<std::uint32_t>(port);
        end = first + 1;
    }
    for (std::uint32_t i = first; i < end; ++i) {
        const auto code = static_cast<std::int8_t>(m.modes[i]);  // the switch's byte, read as signed
        out.push_back({{"port", i + 1}, {"mfs_mode", code}, {"description", name_of(MFS_Modes, code)}});
    }
    return out;
}

json available_alpas() {
    constexpr std::uint8_t unavailable = 0xFF;
    const auto free_of = [](const std::uint8_t* map) {
        json alpas = json::array();
        for (int v = 0; v < 256; ++v)
            if (map[v] != unavailable) alpas.push_back(v);
        return alpas;
    };
    json out = json::array();
    if (!SL_Zones_Capable) {
        out.push_back({{"alpas", free_of(available_alpa)}});
        return out;
    }
    const std::uint32_t ports = std::min<std::uint32_t>(sl_port_zone.count, TV_MAX_PORTS);
    for (std::uint32_t i = 0; i < num_of_zones; ++i) {
        json members = json::array();
        for (std::uint32_t p = 0; p < ports; ++p)
            if (sl_port_zone.ids[p] == sl_zones[i]) members.push_back(p + 1);
        out.push_back({{"zone", sl_zones[i]}, {"ports", members}, {"alpas", free_of(zone_alpas[i])}});
    }
    return out;
}

json of(const tv_switch_link& l) {
    return {{"port", l.port + 1},
            {"remote_chassis", l.remote_chassis},
            {"remote_port", l.remote_port + 1},
            {"remote_fc_address", fc_address_text(l.remote_fc_addr)},
            {"remote_wwn", wwn_text(l.remote_wwn)}};
}

json of(const tv_port_zone& z) {
    json ports = json::array();
    for (std::uint32_t i = 0; z.ports != nullptr && i < z.count; ++i) ports.push_back(z.ports[i] + 1);
    return {{"id", z.id}, {"enabled", z.enabled != 0}, {"ports", ports}};
}

json of(const tv_trap_config& c) {
    return {{"code", c.code},
            {"enabled", c.status != 0},
            {"rising", c.rising},
            {"falling", c.falling},
            {"description", c.code < TV_TRAP_CODES ? trap_types[c.code] : ""}};
}

json of(const tv_switch_tovs& t) {
    return {{"edtov", t.edtov}, {"mfstov", t.mfstov}, {"ratov", t.ratov}, {"rttov", t.rttov}};
}

json of(const tv_trapping_status& t) { return {{"trapping", t.enabled != 0}, {"interval", t.interval}}; }

json initiators_of(const tv_initiators& table) {
    json out = json::array();
    const int n = std::min<int>(table.count, TV_MAX_INITIATORS);
    for (int i = 0; i < n; ++i)
        out.push_back({{"port", table.port[i] + 1},
                       {"alpa", table.alpa[i]},
                       {"port_wwn", wwn_text(table.port_wwn[i])},
                       {"node_wwn", wwn_text(table.node_wwn[i])}});
    return out;
}

json routes_of(const tv_port_steering& st) {
    json out = json::array();
    for (int c = 0; c < TV_MAX_CHASSIS; ++c)
        if (st.route_valid[c] != 0) out.push_back({{"chassis", c}, {"port", st.route_port[c] + 1}});
    return out;
}

json wwn_zone_entry(const std::uint8_t* wwn, const std::uint32_t (&bits)[8]) {
    json zones = json::array();
    for (unsigned z = 0; z < 256; ++z)
        if ((bits[z >> 5] >> (z & 31)) & 1) zones.push_back(z);
    return {{"wwn", wwn_text(wwn)}, {"zones", zones}};
}

json trap_configs_of(const tv_trap_config_list& list) {
    json out = json::array();
    for (std::uint32_t i = 0; list.entries != nullptr && i < list.count; ++i) out.push_back(of(list.entries[i]));
    return out;
}

}  // namespace telvar::json
