// The fabric walk behind snapshot, locate and zone_lint (see fabric_snapshot.h).
//
// The name server is walked first, object by object, so that each switch's ports can list the
// devices attached to them when the switch is read; the walk keeps of each object its address,
// port and WWNs in a flat index (the WWNs serve the port status, which would otherwise ask the
// name server again for every device of every loop). The switches come from the fabric walk
// (fabric_walk.h); the links are read right after the identity so that a switch failing later
// in its record still leads the walk on.
//
// The per-device work is what bounds a snapshot of a large fabric beside its exchanges: each
// object is written as text into one reused buffer, and nothing is allocated for it beyond
// its place in the index.
#include "telvar/data/fabric_snapshot.h"

#include <algorithm>
#include <ctime>
#include <deque>

#include "proto/zoning/layout.h"
#include "telvar/data/fabric_walk.h"
#include "telvar/data/json_text.h"
#include "telvar/framework/notices.h"
#include "tv_api/command_support.h"
#include "tv_api/lanes.h"

namespace telvar::snapshot {

namespace {

namespace J = telvar::json;
namespace W = tv::layout::zoning::wwn;

// What the walk keeps of a name-server object: 20 bytes.
struct known_device {
    std::uint32_t place;  // the 24-bit address, and the port (from 0, as the name server gives it) above it
    std::uint8_t port_wwn[8];
    std::uint8_t node_wwn[8];

    std::uint32_t address() const { return place & 0xFFFFFFu; }
    std::uint32_t port() const { return place >> 24; }
};

// The objects of the name server in address order.
class device_index {
public:
    // Adds an object; false when its address is there already: the walk has come round. A
    // switch answers in address order, so an object nearly always goes at the end.
    bool insert(const tv_nameserver_entry& e) {
        known_device d{(e.port_id & 0xFFFFFFu) | std::uint32_t{e.port} << 24, {}, {}};
        std::copy_n(e.port_wwn, 8, d.port_wwn);
        std::copy_n(e.node_wwn, 8, d.node_wwn);
        if (all_.empty() || d.address() > all_.back().address()) {
            all_.push_back(d);
            return true;
        }
        const auto it = find(d.address());
        if (it != all_.end() && it->address() == d.address()) return false;
        all_.insert(it, d);
        return true;
    }

    // The addresses of the devices on a port (from 0) of a chassis, as a JSON array, in
    // address order. A chassis's addresses lie in one range of each domain (bits 20 to 23).
    void put_addresses(std::string& out, int chassis, std::uint32_t port) const {
        out += '[';
        bool first = true;
        for (std::uint32_t domain = 0; domain < 16; ++domain) {
            const std::uint32_t low = domain << 20 | static_cast<std::uint32_t>(chassis) << 14;
            for (auto it = find(low); it != all_.end() && it->address() < low + (1u << 14); ++it) {
                if (it->port() != port) continue;
                if (!first) out += ',';
                J::put_fc_address(out, it->address());
                first = false;
            }
        }
        out += ']';
    }

    // tv::device_wwns over an index.
    static bool wwns(const void* known, std::uint32_t port_id, std::uint8_t* port_wwn, std::uint8_t* node_wwn) {
        const auto& index = *static_cast<const device_index*>(known);
        const auto it = index.find(port_id);
        if (it == index.all_.end() || it->address() != port_id) return false;
        std::copy_n(it->port_wwn, 8, port_wwn);
        std::copy_n(it->node_wwn, 8, node_wwn);
        return true;
    }

private:
    using list = std::deque<known_device>;  // grows without copying what it holds
    // The first object at or after the address.
    list::const_iterator find(std::uint32_t address) const {
        return std::ranges::lower_bound(all_, address, {}, &known_device::address);
    }
    list::iterator find(std::uint32_t address) {
        return std::ranges::lower_bound(all_, address, {}, &known_device::address);
    }

    list all_;
};

// Walks the name server in address order until it reports no more objects or comes round to
// one it gave already; `each` is given every new object.
template <class Each>
int32_t walk_name_server(tv_context* ctx, device_index& index, Each&& each) {
    tv_nameserver_entry e;
    std::uint32_t address = 0;
    for (;;) {
        bool found = false;
        if (const int32_t code = tv::get_next_nameserverentry(ctx, address, e, found); code != TV_OK) return code;
        if (!found || !index.insert(e)) return TV_OK;
        address = e.port_id;
        each(e);
    }
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

// The reads of a switch's ports that every port's record draws on.
struct port_tables {
    tv_port_types types{};
    tv_port_state states{};
    tv_port_mfs_modes mfs{};
    tv_port_al_disabled al{};

    int32_t read(tv_context* ctx) {
        int32_t code = tv_get_port_types(ctx, &types);
        if (code == TV_OK) code = tv_get_port_state(ctx, &states);
        if (code == TV_OK) code = tv_get_port_mfs_mode(ctx, &mfs);
        if (code == TV_OK) code = tv_get_port_al_disabled(ctx, &al);
        return code;
    }
    ~port_tables() {
        tv_free_port_types(&types);
        tv_free_port_state(&states);
        tv_free_port_mfs_mode(&mfs);
        tv_free_port_al_disabled(&al);
    }
};

// One port's record; `attached` and `counters` may be null (not read).
void put_port(std::string& out, std::uint32_t i, const port_tables& t, const json* gbics, const device_index& index,
              int chassis, const tv_port_status* attached, const tv_port_counters* counters) {
    J::object_text o(out);
    if (i < t.states.count) J::put_string(o.key("admin"), J::port_state_word(t.states.entries[i].admin));
    if (attached != nullptr) J::put_attached(o.key("attached"), *attached);
    if (counters != nullptr) J::put_counters(o.key("counters"), *counters);
    index.put_addresses(o.key("devices"), chassis, i);
    if (i < t.al.count) J::put_bool(o.key("loop_disabled"), t.al.flags[i] != 0);
    if (i < t.mfs.count) J::put_int(o.key("mfs_mode"), static_cast<std::int8_t>(t.mfs.modes[i]));
    if (i < t.states.count) J::put_string(o.key("operational"), J::port_state_word(t.states.entries[i].operational));
    J::put_int(o.key("port"), i + 1);
    if (gbics != nullptr && i < gbics->size()) J::put_value(o.key("transceiver"), (*gbics)[i]["type"]);
    J::put_string(o.key("type"), J::port_type_word(t.types.types[i]));
}

using sink_fn = std::function<void(std::string_view text)>;

// The ports of the switch the context addresses, each record handed to `sink` as it is read,
// after `begin` once the port tables are read (nothing is written when they cannot be). A
// port whose status or counters fail ends those reads for the ports after it; every port is
// still written with what was read of it.
template <class Begin>
int32_t read_ports(tv_context* ctx, const device_index& index, int chassis, unsigned sections, const json& sw,
                   Begin&& begin, const sink_fn& sink) {
    port_tables t;
    int32_t code = t.read(ctx);
    if (code != TV_OK) return code;
    begin();
    const json* gbics = sw.contains("chassis_status") ? &sw["chassis_status"]["transceivers"] : nullptr;
    std::string text;
    for (std::uint32_t i = 0; i < t.types.count; ++i) {
        tv_port_status st{};
        tv_port_counters counters{};
        bool have_status = false, have_counters = false;
        if (code == TV_OK && (sections & section::port_status)) {
            code = tv::get_port_status(ctx, i, st, &device_index::wwns, &index);
            have_status = code == TV_OK;
        }
        if (code == TV_OK && (sections & section::counters)) {
            if (tv_get_port_counters(ctx, static_cast<std::uint8_t>(i), &counters) != TV_OK) code = tv_api_errno;
            have_counters = code == TV_OK;
        }
        text.assign(i > 0 ? "," : "");
        put_port(text, i, t, gbics, index, chassis, have_status ? &st : nullptr, have_counters ? &counters : nullptr);
        tv_free_port_status(&st);
        sink(text);
    }
    sink("]");
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

// The links of the switch a visit is at; the walk goes on to their far ends once they are read.
int32_t read_links(fabric::visit& at, json& sw) {
    const int32_t code = at.read_links();
    if (code == TV_OK) {
        json out = json::array();
        for (int i = 0; i < at.links().count; ++i) out.push_back(J::of(at.links().links[i]));
        sw["links"] = std::move(out);
    }
    return code;
}

// Reads the switch a visit is at and hands its record to `sink` after `separator`: whole once
// it is read, or, when its ports are read, its members up to them first and then each port
// as it is read, so that the devices of its loops are never held together. Returns the
// record's status.
int32_t read_switch(fabric::visit& at, unsigned sections, const device_index& index, std::string_view separator,
                    const sink_fn& sink) {
    tv_context* const ctx = at.ctx();
    const std::uint32_t address = at.address();
    const int chassis = fabric::chassis_of(address);
    json sw = {{"fc_address", J::fc_address_text(address)}, {"chassis", chassis}};
    std::string text(separator);
    bool ports_written = false;
    // Every member that sorts before "ports" is read before them, so the head is final.
    const auto begin_ports = [&] {
        J::put_head(text, sw, "ports");
        text += '[';
        sink(text);
        text.clear();
        ports_written = true;
    };
    const auto steps = [&]() -> int32_t {
        tv_version_info v{};
        if (at.read_identity(v) != TV_OK) return tv_api_errno;
        sw["identity"] = J::of(v);
        if (const int32_t code = read_links(at, sw); code != TV_OK) return code;
        if (sections & section::chassis) {
            tv_chassis_status cs{};
            tv_sysconfig cfg{};
            if (tv_get_chassis_status(ctx, &cs) != TV_OK) return tv_api_errno;
            sw["chassis_status"] = J::of(cs);
            if (tv_get_snmp_sysconfig(ctx, &cfg) != TV_OK) return tv_api_errno;
            sw["system"] = J::of(cfg);
        }
        // "initiators" sorts before "ports": it is read before the ports are written out.
        if (sections & section::initiators) {
            tv_initiators t{};
            if (tv_get_initiators(ctx, &t) != TV_OK) return tv_api_errno;
            sw["initiators"] = J::initiators_of(t);
        }
        if (sections & section::ports)
            if (const int32_t code = read_ports(ctx, index, chassis, sections, sw, begin_ports, sink);
                code != TV_OK)
                return code;
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
    const int32_t code = steps();
    sw["status"] = J::status(code);
    if (ports_written)
        J::put_tail(text, sw, "ports");
    else
        J::put_value(text, sw);
    sink(text);
    return code;
}

// The FC addresses of the switches a walk from `start` reaches (their identities and links
// read side by side), in no particular order.
std::vector<std::uint32_t> fabric_switches(tv_context* ctx, std::uint32_t start) {
    std::vector<std::uint32_t> out;
    fabric::walk_side_by_side(ctx, start, {}, [&](fabric::visit& at, int) {
        tv_version_info v{};
        if (at.read_identity(v) == TV_OK) at.read_links();
        out.push_back(at.address());
    });
    return out;
}

std::string utc_now() {
    const std::time_t now = std::time(nullptr);
    std::tm t{};
    char text[32] = "";
    if (gmtime_r(&now, &t) != nullptr) std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &t);
    return text;
}

// The walk, with at most `at_once` switches' records read at once (side by side), the records
// that wait for their turn kept as `kept` says.
int walk_reading(tv_context* ctx, const std::string& source, unsigned sections,
                 const std::function<void(std::string_view text)>& sink,
                 const std::function<void(int done, int known)>& progress, std::size_t at_once,
                 fabric::kept_texts kept) {
    // The head's members, then the two arrays element by element.
    std::string text;
    J::put_value(text, {{"format", "telvar-snapshot"}, {"version", 1}, {"source", source}, {"taken_at", utc_now()}});
    text.pop_back();
    text += ",\n\"name_server\":{\"devices\":[";
    const auto end_name_server = [&](const json& status) {
        text += "],\n\"status\":";
        J::put_value(text, status);
        text += "},\n\"switches\":[";
        sink(text);
    };
    std::uint32_t start = tv_get_dest_addr(ctx);
    if (start == TV_DEFAULT_DEST) {
        tv_version_info v{};
        if (tv_get_version(ctx, &v) != TV_OK) {
            const json status = J::status(tv_api_errno);
            end_name_server(status);
            text = "\n";
            J::put_value(text, {{"status", status}});
            text += "]}\n";
            sink(text);
            return 1;
        }
        start = fabric::switch_addr_of(v.ver_info3);
    }
    tv_set_dest_addr(ctx, start);
    sink(text);
    text.clear();
    device_index index;
    json ns_status;  // null when the name server is not read
    if (sections & section::name_server) {
        bool first = true;
        const auto put = [&](const tv_nameserver_entry& e) {
            text.assign(first ? "\n" : ",\n");
            first = false;
            J::put_device(text, e);
            sink(text);
        };
        int32_t code = TV_OK;
        if (tv::lanes_usable(ctx)) {
            // Each switch reads the range of the name server from its own address on.
            const std::vector<std::uint32_t> switches = fabric_switches(ctx, start);
            code = tv::walk_nameserver_ranges(*ctx, switches, [&](const tv_nameserver_entry& e) {
                if (index.insert(e)) put(e);
                return true;
            });
        } else {
            code = walk_name_server(ctx, index, put);
        }
        ns_status = J::status(code);
        text.clear();
    }
    end_name_server(ns_status);
    int failed = 0;
    fabric::in_walk_order in_order(sink, kept);
    fabric::walk_side_by_side(
        ctx, start, {.at_once = at_once},
        [&](fabric::visit& at, int k) {
            const auto write = [&](std::string_view t) { in_order.write(k, t); };
            if (read_switch(at, sections, index, k == 0 ? "\n" : ",\n", write) != TV_OK) ++failed;
            in_order.finish(k);
        },
        progress);
    sink("]}\n");
    tv_set_dest_addr(ctx, start);
    return failed;
}

}  // namespace

int walk(tv_context* ctx, const std::string& source, unsigned sections,
         const std::function<void(std::string_view text)>& sink,
         const std::function<void(int done, int known)>& progress) {
    // A switch's record is some 100 kilobytes in a fabric of ten thousand devices, kept deflated
    // (a fifth of it) until its turn, beside some 40 kilobytes of each visit's own. Eight at
    // once read a ring of twelve nearly as fast as twelve do (the far switches are found late
    // anyway) for some 300 kilobytes less.
    return walk_reading(ctx, source, sections, sink, progress, 8, fabric::kept_texts::deflated);
}

json take(tv_context* ctx, const std::string& source, unsigned sections) {
    // The whole document is held anyway: every switch is read at once.
    std::string text;
    walk_reading(ctx, source, sections, [&](std::string_view t) { text += t; }, {}, fabric::walk_options{}.at_once,
                 fabric::kept_texts::plain);
    return json::parse(text);
}

int write(tv_context* ctx, const std::string& source, std::FILE* out) {
    const bool tty = progress_wanted();
    const int failed = walk(
        ctx, source, section::all, [&](std::string_view t) { std::fwrite(t.data(), 1, t.size(), out); },
        [&](int k, int n) {
            if (tty) std::fprintf(stderr, "\rsnapshot: switch %d of %d", k, n);
        });
    if (tty) std::fputs("\r\033[K", stderr);
    return std::fflush(out) == 0 && !std::ferror(out) ? failed : -1;
}

int write_document(const json& doc, std::FILE* out) {
    json head = doc;
    head.erase("name_server");
    head.erase("switches");
    std::string text;
    J::put_value(text, head);
    text.pop_back();
    text += ",\n\"name_server\":";
    const json& ns = doc.contains("name_server") ? doc["name_server"] : json::object();
    json ns_rest = ns.is_object() ? ns : json::object();
    ns_rest.erase("devices");
    J::put_head(text, ns_rest, "devices");
    text += '[';
    const auto each = [&](const json& list) {
        bool first = true;
        for (const json& e : list) {
            text += first ? "\n" : ",\n";
            first = false;
            J::put_value(text, e);
        }
    };
    each(ns.is_object() && ns.contains("devices") ? ns["devices"] : json::array());
    text += ']';
    J::put_tail(text, ns_rest, "devices");
    text += ",\n\"switches\":[";
    each(doc.contains("switches") ? doc["switches"] : json::array());
    text += "]}\n";
    std::fwrite(text.data(), 1, text.size(), out);
    return std::fflush(out) == 0 && !std::ferror(out) ? 0 : -1;
}

const json* find_switch(const json& doc, const std::string& wwn, const std::string& fc_address) {
    if (!doc.contains("switches") || !doc["switches"].is_array()) return nullptr;
    for (const json& sw : doc["switches"]) {
        if (wwn.empty() && fc_address.empty()) return &sw;
        // A hand-written file may hold anything here: compared, never converted, so nothing throws.
        const auto is = [](const json& j, const char* key, const std::string& text) {
            return j.is_object() && j.contains(key) && j[key] == text;
        };
        if (!wwn.empty() && sw.is_object() && sw.contains("identity") && is(sw["identity"], "wwn", wwn)) return &sw;
        if (!fc_address.empty() && is(sw, "fc_address", fc_address)) return &sw;
    }
    return nullptr;
}

int32_t read_port_table(tv_context* ctx, json& ports) {
    const device_index none;  // the devices are the name server's business, not the table's
    std::string text = "[";
    const int32_t code =
        read_ports(ctx, none, 0, section::counters, json::object(), [] {}, [&](std::string_view t) { text += t; });
    if (text != "[") ports = json::parse(text);
    return code;
}

}  // namespace telvar::snapshot
