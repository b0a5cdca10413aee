// The fabric walk behind snapshot, locate and zone_lint (see fabric_snapshot.h).
//
// The name server is walked first, object by object, so that each switch's ports can list the
// devices attached to them when the switch is read; the walk keeps of each object only its
// address. Switches are read breadth first by chassis number, each through the context by its
// FC address; the links are read right after the identity so that a switch failing later in
// its record still leads the walk on.
#include "fabric_snapshot.h"

#include <unistd.h>

#include <ctime>
#include <deque>
#include <map>
#include <memory>
#include <set>
#include <vector>

#include "zoning_layout.h"

namespace telvar::snapshot {

namespace {

namespace J = telvar::json;
namespace W = tv::layout::zoning::wwn;

struct free_deleter {
    void operator()(void* p) const { std::free(p); }
};

// Device addresses by chassis and port (from 1).
using device_index = std::map<int, std::map<int, std::vector<std::string>>>;

// Walks the name server in address order until it reports no more objects or comes round to
// one it gave already.
json walk_name_server(tv_context* ctx, const walk_hooks& hooks, device_index& index) {
    std::set<std::uint32_t> seen;
    std::uint32_t address = 0;
    for (;;) {
        tv_nameserver_entry* raw = nullptr;
        const int32_t code = tv_snsgetall(ctx, address, &raw, 1);
        const std::unique_ptr<tv_nameserver_entry, free_deleter> e{raw};
        if (code != TV_OK) return J::status(code);
        if (!e || !seen.insert(e->port_id).second) return J::status(TV_OK);
        address = e->port_id;
        const json device = J::of(*e);
        index[J::chassis_of(e->port_id)][e->port + 1].push_back(device["fc_address"]);
        if (hooks.device) hooks.device(device);
    }
}

// Reads a record with `read`, frees it with `release` on every way out.
template <class Record, class Read, class Release>
int32_t with_record(Read&& read, Release&& release, const std::function<void(const Record&)>& use) {
    Record r{};
    const int32_t code = read(r);
    if (code == TV_OK) use(r);
    release(r);
    return code;
}

// The zones of one type, leaving out those in their default state (disabled, no members), and
// the SL pseudo-zone of the ports that are not SL ports.
int32_t read_zones(tv_context* ctx, std::uint32_t type, json& out) {
    tv_port_zone_set set{type, 0, nullptr};
    const int32_t code = tv_get_port_zone_set(ctx, &set, 0);
    out = json::array();
    for (std::uint32_t i = 0; code == TV_OK && i < set.count; ++i) {
        const tv_port_zone& z = *set.zones[i];
        if ((z.enabled == 0 && z.count == 0) || (type == TV_ZONE_SL && z.id == 0xFFFF)) continue;
        json zone = J::of(z);
        if (type == TV_ZONE_SL) zone.erase("enabled");  // an SL zone has no enabled state
        out.push_back(std::move(zone));
    }
    tv_free_port_zone_set(&set, 0);
    return code;
}

}  // namespace

int32_t read_wwn_zones(tv_context* ctx, json& out) {
    out = json::array();
    tv_wwn_zone_page page{};
    int32_t first = 0;
    do {
        if (const int32_t code = tv_get_wwn_zone(ctx, first, &page); code != TV_OK) return code;
        const std::int64_t n = std::min<std::int64_t>(std::int64_t{page.total} - first, TV_WWN_PAGE_ENTRIES);
        for (std::int64_t i = 0; i < n; ++i) out.push_back(J::wwn_zone_entry(page.wwn[i], page.zone_bits[i]));
        first += static_cast<int32_t>(W::page_entries);
    } while (page.total > first && first < W::max_walk_entries);
    return TV_OK;
}

int32_t read_zoning(tv_context* ctx, json& zoning) {
    json z = json::object();
    std::uint32_t ns_type = 0;
    if (const int32_t code = tv_get_type_ns_zoning(ctx, &ns_type); code != TV_OK) return code;
    z["ns_zoning"] = J::ns_zoning_word(ns_type);
    for (std::uint32_t type = TV_ZONE_HD; type <= TV_ZONE_SL; ++type)
        if (const int32_t code = read_zones(ctx, type, z[J::zone_type_word(type)]); code != TV_OK) return code;
    if (const int32_t code = read_wwn_zones(ctx, z["wwn"]); code != TV_OK) return code;
    zoning = std::move(z);
    return TV_OK;
}

namespace {

int32_t read_ports(tv_context* ctx, const device_index& index, int chassis, json& sw) {
    tv_port_types types{};
    tv_port_state states{};
    tv_port_mfs_modes mfs{};
    tv_port_al_disabled al{};
    int32_t code = tv_get_port_types(ctx, &types);
    if (code == TV_OK) code = tv_get_port_state(ctx, &states);
    if (code == TV_OK) code = tv_get_port_mfs_mode(ctx, &mfs);
    if (code == TV_OK) code = tv_get_port_al_disabled(ctx, &al);
    if (code == TV_OK) {
        json ports = json::array();
        const auto on_chassis = index.find(chassis);
        const json* gbics = sw.contains("chassis_status") ? &sw["chassis_status"]["transceivers"] : nullptr;
        for (std::uint32_t i = 0; i < types.count; ++i) {
            const int number = static_cast<int>(i + 1);
            json p = {{"port", number}, {"type", J::port_type_word(types.types[i])}};
            if (i < states.count) {
                p["admin"] = J::port_state_word(states.entries[i].admin);
                p["operational"] = J::port_state_word(states.entries[i].operational);
            }
            if (i < mfs.count) p["mfs_mode"] = static_cast<std::int8_t>(mfs.modes[i]);
            if (i < al.count) p["loop_disabled"] = al.flags[i] != 0;
            if (gbics != nullptr && i < gbics->size()) p["transceiver"] = (*gbics)[i]["type"];
            json devices = json::array();
            if (on_chassis != index.end())
                if (const auto it = on_chassis->second.find(number); it != on_chassis->second.end())
                    devices = it->second;
            p["devices"] = std::move(devices);
            ports.push_back(std::move(p));
        }
        sw["ports"] = std::move(ports);
    }
    tv_free_port_types(&types);
    tv_free_port_state(&states);
    tv_free_port_mfs_mode(&mfs);
    tv_free_port_al_disabled(&al);
    return code;
}

int32_t read_traps(tv_context* ctx, json& sw) {
    tv_trapping_status t{};
    if (const int32_t code = tv_get_trapping_status(ctx, 0, &t); code != TV_OK) return code;
    tv_trap_config_list list{};
    const int32_t code = tv_get_all_trap_configs(ctx, 0, &list);
    if (code == TV_OK) {
        json traps = J::of(t);
        traps["codes"] = J::trap_configs_of(list);
        sw["traps"] = std::move(traps);
    }
    tv_free_trap_configs(&list);
    return code;
}

// The links of the switch the context addresses, and the switches they lead to.
int32_t read_links(tv_context* ctx, std::uint32_t here, json& sw, std::vector<std::uint32_t>& next) {
    tv_switch_links links{};
    const int32_t code = tv_get_switch_links(ctx, &links);
    tv_set_dest_addr(ctx, here);  // reading the links moves the context along them
    if (code == TV_OK) {
        json out = json::array();
        for (int i = 0; i < links.count; ++i) {
            out.push_back(J::of(links.links[i]));
            next.push_back(links.links[i].remote_fc_addr & 0xFFC000u);
        }
        sw["links"] = std::move(out);
    }
    tv_free_switch_links(&links);
    return code;
}

// The record of the switch at `address`; the addresses its links lead to are added to `next`.
json read_switch(tv_context* ctx, std::uint32_t address, unsigned sections, const device_index& index,
                 std::vector<std::uint32_t>& next) {
    tv_set_dest_addr(ctx, address);
    json sw = {{"fc_address", J::fc_address_text(address)}, {"chassis", J::chassis_of(address)}};
    const auto steps = [&]() -> int32_t {
        tv_version_info v{};
        if (tv_get_version(ctx, &v) != TV_OK) return tv_api_errno;
        sw["identity"] = J::of(v);
        if (const int32_t code = read_links(ctx, address, sw, next); code != TV_OK) return code;
        if (sections & section::chassis) {
            tv_chassis_status cs{};
            tv_sysconfig cfg{};
            if (tv_get_chassis_status(ctx, &cs) != TV_OK) return tv_api_errno;
            sw["chassis_status"] = J::of(cs);
            if (tv_get_snmp_sysconfig(ctx, &cfg) != TV_OK) return tv_api_errno;
            sw["system"] = J::of(cfg);
        }
        if (sections & section::ports)
            if (const int32_t code = read_ports(ctx, index, J::chassis_of(address), sw); code != TV_OK) return code;
        if (sections & section::initiators) {
            tv_initiators t{};
            if (tv_get_initiators(ctx, &t) != TV_OK) return tv_api_errno;
            sw["initiators"] = J::initiators_of(t);
        }
        if (sections & section::routes) {
            tv_port_steering st{};
            if (tv_get_port_steering(ctx, 0, &st) != TV_OK) return tv_api_errno;
            sw["routes"] = J::routes_of(st);
        }
        if (sections & section::zoning)
            if (const int32_t code = read_zoning(ctx, sw["zoning"]); code != TV_OK) return code;
        if (sections & section::traps) return read_traps(ctx, sw);
        return TV_OK;
    };
    sw["status"] = J::status(steps());
    return sw;
}

std::string utc_now() {
    const std::time_t now = std::time(nullptr);
    std::tm t{};
    char text[32] = "";
    if (gmtime_r(&now, &t) != nullptr) std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &t);
    return text;
}

json head(const std::string& source) {
    return {{"format", "telvar-snapshot"}, {"version", 1}, {"source", source}, {"taken_at", utc_now()}};
}

}  // namespace

int walk_fabric(tv_context* ctx, unsigned sections, const walk_hooks& hooks) {
    std::uint32_t start = tv_get_dest_addr(ctx);
    if (start == TV_DEFAULT_DEST) {
        tv_version_info v{};
        if (tv_get_version(ctx, &v) != TV_OK) {
            if (hooks.name_server_done) hooks.name_server_done(J::status(tv_api_errno));
            if (hooks.switch_done) hooks.switch_done({{"status", J::status(tv_api_errno)}});
            return 1;
        }
        start = v.ver_info3 & 0xFFC000u;
    }
    tv_set_dest_addr(ctx, start);
    device_index index;
    if (sections & section::name_server) {
        const json st = walk_name_server(ctx, hooks, index);
        if (hooks.name_server_done) hooks.name_server_done(st);
    }
    std::deque<std::uint32_t> queue{start};
    std::set<int> known{J::chassis_of(start)};
    int done = 0, failed = 0;
    while (!queue.empty()) {
        const std::uint32_t address = queue.front();
        queue.pop_front();
        std::vector<std::uint32_t> next;
        const json sw = read_switch(ctx, address, sections, index, next);
        for (const std::uint32_t a : next)
            if (known.insert(J::chassis_of(a)).second) queue.push_back(a);
        if (sw["status"]["code"] != TV_OK) ++failed;
        if (hooks.switch_done) hooks.switch_done(sw);
        if (hooks.progress) hooks.progress(++done, static_cast<int>(known.size()));
    }
    tv_set_dest_addr(ctx, start);
    return failed;
}

json take(tv_context* ctx, const std::string& source, unsigned sections) {
    json doc = head(source);
    json devices = json::array(), switches = json::array(), ns_status;
    walk_fabric(ctx, sections,
                {.device = [&](const json& d) { devices.push_back(d); },
                 .name_server_done = [&](const json& s) { ns_status = s; },
                 .switch_done = [&](const json& s) { switches.push_back(s); }});
    doc["name_server"] = {{"devices", std::move(devices)}, {"status", std::move(ns_status)}};
    doc["switches"] = std::move(switches);
    return doc;
}

int write(tv_context* ctx, const std::string& source, std::FILE* out) {
    // The head's members, then the two arrays element by element.
    std::string text = head(source).dump();
    text.pop_back();
    std::fputs(text.c_str(), out);
    std::fputs(",\n\"name_server\":{\"devices\":[", out);
    bool first = true;
    const auto element = [&](const json& j) {
        std::fputs(first ? "\n" : ",\n", out);
        std::fputs(j.dump().c_str(), out);
        first = false;
    };
    const bool tty = isatty(STDERR_FILENO) != 0;
    const int failed = walk_fabric(
        ctx, section::all,
        {.device = element,
         .name_server_done =
             [&](const json& s) {
                 std::fprintf(out, "],\n\"status\":%s},\n\"switches\":[", s.dump().c_str());
                 first = true;
             },
         .switch_done = element,
         .progress = [&](int k, int n) {
             if (tty) std::fprintf(stderr, "\rsnapshot: switch %d of %d", k, n);
         }});
    if (tty) std::fputs("\r\033[K", stderr);
    std::fputs("]}\n", out);
    return std::fflush(out) == 0 && !std::ferror(out) ? failed : -1;
}

const json* find_switch(const json& doc, const std::string& wwn, const std::string& fc_address) {
    if (!doc.contains("switches") || !doc["switches"].is_array()) return nullptr;
    for (const json& sw : doc["switches"]) {
        if (wwn.empty() && fc_address.empty()) return &sw;
        const json* id = sw.contains("identity") ? &sw["identity"] : nullptr;
        if (id != nullptr && !wwn.empty() && id->value("wwn", "") == wwn) return &sw;
        if (!fc_address.empty() && sw.value("fc_address", "") == fc_address) return &sw;
    }
    return nullptr;
}

}  // namespace telvar::snapshot
