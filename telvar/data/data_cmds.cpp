// snapshot, locate and zone_lint: the fabric as one document, where a device is in it, and
// what is wrong with its zoning. locate and zone_lint read a snapshot file (--snapshot FILE)
// or walk the live fabric for the parts they need.
#include "telvar/data/data_cmds.h"

#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <map>
#include <set>

#include "telvar/cli/command_table.h"
#include "telvar/cli/given_options.h"
#include "telvar/data/fabric_queries.h"
#include "telvar/data/fabric_snapshot.h"
#include "telvar/framework/option_loop.h"

namespace telvar::data {

namespace {

namespace J = telvar::json;

// ---- What the commands read of a document ----

const json& devices_of(const json& doc) { return member(member_object(doc, "name_server"), "devices"); }

// Port zone types of the zoning object, in the order reports list them.
constexpr std::array<const char*, 4> port_zone_types{"hard", "name_server", "broadcast", "sl"};

struct zone_ref {
    int chassis;
    std::string type;
    std::int64_t id;
    json to_json() const { return {{"chassis", chassis}, {"type", type}, {"id", id}}; }
    std::string text() const { return type + " " + std::to_string(id); }
};

bool port_listed(const json& zone, int port) {
    for (const json& p : member(zone, "ports"))
        if (p == port) return true;
    return false;
}

bool zone_enabled(const json& zone) { return zone.value("enabled", true); }

// The zones of a switch that name a device: its port's zones (enabled ones) and the WWN zones
// of its port or node WWN.
std::vector<zone_ref> zones_naming(const json& sw, const json& device) {
    std::vector<zone_ref> out;
    const int chassis = sw.value("chassis", -1);
    const json& zoning = member_object(sw, "zoning");
    for (const char* type : port_zone_types)
        for (const json& z : member(zoning, type))
            if (port_listed(z, device.value("port", 0))) out.push_back({chassis, type, z.value("id", -1)});
    for (const json& e : member(zoning, "wwn"))
        if (e.value("wwn", "") == device.value("port_wwn", "") || e.value("wwn", "") == device.value("node_wwn", ""))
            for (const json& z : member(e, "zones")) out.push_back({chassis, "wwn", z.get<std::int64_t>()});
    return out;
}

const json* switch_of_chassis(const json& doc, int chassis) {
    for (const json& sw : member(doc, "switches"))
        if (sw.value("chassis", -1) == chassis) return &sw;
    return nullptr;
}

const json* port_of(const json& sw, int number) {
    for (const json& p : member(sw, "ports"))
        if (p.value("port", 0) == number) return &p;
    return nullptr;
}

}  // namespace

// ---- locate ----

json locate_device(const json& doc, const json& device) {
    json where = {{"device", device}, {"port", device.value("port", 0)}};
    std::vector<zone_ref> zones;
    if (const json* sw = switch_of_chassis(doc, device.value("chassis", -1))) {
        const json& id = member_object(*sw, "identity");
        where["switch"] = {{"chassis", sw->value("chassis", -1)},
                           {"fc_address", sw->value("fc_address", "")},
                           {"wwn", id.value("wwn", "")}};
        if (const json* p = port_of(*sw, device.value("port", 0))) where["port_type"] = p->value("type", "");
        zones = zones_naming(*sw, device);
    }
    json refs = json::array();
    for (const zone_ref& z : zones) refs.push_back(z.to_json());
    where["zones"] = refs;
    return where;
}

json locate_matching(const json& doc, const std::function<bool(const json& device)>& wanted, std::size_t most) {
    json found = json::array();
    for (const json& d : devices_of(doc))
        if (found.size() < most && wanted(d)) found.push_back(locate_device(doc, d));
    return found;
}

namespace {

void print_location(const json& w) {
    const json& d = w["device"];
    std::printf("device:  %s (node %s) at %s\n", d.value("port_wwn", "").c_str(),
                d.value("node_wwn", "").c_str(), d.value("fc_address", "").c_str());
    if (w.contains("switch"))
        std::printf("switch:  %s, chassis %d (%s)\n", w["switch"].value("wwn", "").c_str(),
                    w["switch"].value("chassis", -1), w["switch"].value("fc_address", "").c_str());
    std::printf("port:    %d %s\n", w.value("port", 0), w.value("port_type", "").c_str());
    std::string zones;
    for (const json& z : w["zones"])
        zones += (zones.empty() ? "" : ", ") + z.value("type", "") + " " + std::to_string(z.value("id", -1));
    std::printf("zones:   %s\n", zones.empty() ? "none" : zones.c_str());
}

// ---- zone_lint ----

struct finding {
    std::string kind;
    int chassis;
    std::string text;
};

class linter {
public:
    // The devices are indexed once: a fabric of ten thousand would otherwise be searched once
    // per device.
    explicit linter(const json& doc) : doc_(doc) {
        for (const json& d : devices_of(doc)) {
            logged_in_.insert(d.value("port_wwn", ""));
            logged_in_.insert(d.value("node_wwn", ""));
            by_address_.emplace(d.value("fc_address", ""), &d);
            port_of_node_.emplace(d.value("node_wwn", ""), d.value("port_wwn", ""));
        }
    }

    std::vector<finding> run() {
        for (const json& sw : member(doc_, "switches"))
            if (sw.contains("zoning")) lint_switch(sw);
        return std::move(found_);
    }

private:
    void add(std::string kind, int chassis, std::string text) {
        found_.push_back({std::move(kind), chassis, std::move(text)});
    }

    void lint_switch(const json& sw) {
        const int chassis = sw.value("chassis", -1);
        const json& zoning = sw["zoning"];
        const std::string ns = zoning.value("ns_zoning", "port");
        std::set<int> zoned_ports;
        for (const char* type : port_zone_types) {
            const json& zones = member(zoning, type);
            const bool sl = std::strcmp(type, "sl") == 0;
            bool any_enabled = false, any_members = false;
            for (const json& z : zones) {
                any_enabled = any_enabled || zone_enabled(z);
                any_members = any_members || !member(z, "ports").empty();
            }
            for (const json& z : zones) {
                const std::string name = std::string(type) + " zone " + std::to_string(z.value("id", -1));
                const json& ports = member(z, "ports");
                if (ports.empty()) continue;
                if (!sl && any_members && !any_enabled)
                    add("zone_of_disabled_type", chassis, name + ": no " + type + " zone is enabled");
                if (std::strcmp(type, "name_server") == 0 && ns == "wwn")
                    add("zone_of_disabled_type", chassis, name + ": name-server zoning is by WWN");
                lint_port_zone(sw, z, name);
                if (zone_enabled(z))
                    for (const json& p : ports) zoned_ports.insert(p.get<int>());
            }
        }
        lint_wwn_zones(sw, zoning, ns);
        for (const json& p : member(sw, "ports"))
            for (const json& d : member(p, "devices"))
                if (!zoned_ports.contains(p.value("port", 0)) && !wwn_zoned(zoning, d))
                    add("device_in_no_zone", chassis, "device " + d.get<std::string>() + " on port " +
                                                          std::to_string(p.value("port", 0)) + " is in no zone");
    }

    void lint_port_zone(const json& sw, const json& z, const std::string& name) {
        const int chassis = sw.value("chassis", -1);
        std::set<int> seen;
        bool logged_in = false;
        for (const json& pj : member(z, "ports")) {
            const int port = pj.is_number_integer() ? pj.get<int>() : 0;
            if (!seen.insert(port).second)
                add("duplicate_member", chassis, name + ": port " + std::to_string(port) + " is listed twice");
            const json* p = port_of(sw, port);
            if (p == nullptr) continue;
            if (!member(*p, "devices").empty()) logged_in = true;
            if (p->value("operational", "on") != "on")
                add("member_on_offline_port", chassis, name + ": port " + std::to_string(port) + " is " +
                                                           p->value("operational", "") + "");
        }
        if (!logged_in) add("no_logged_in_member", chassis, name + ": no member is logged in");
    }

    // Whether a device (by address) is named by a WWN zone of the switch.
    bool wwn_zoned(const json& zoning, const json& address) const {
        const json* d = device_at(address);
        if (d == nullptr) return false;
        for (const json& e : member(zoning, "wwn"))
            if (!member(e, "zones").empty() &&
                (e.value("wwn", "") == d->value("port_wwn", "") || e.value("wwn", "") == d->value("node_wwn", "")))
                return true;
        return false;
    }

    const json* device_at(const json& address) const {
        const auto it = address.is_string() ? by_address_.find(address.get<std::string>()) : by_address_.end();
        return it == by_address_.end() ? nullptr : it->second;
    }

    void lint_wwn_zones(const json& sw, const json& zoning, const std::string& ns) {
        const int chassis = sw.value("chassis", -1);
        // zone -> its member WWNs, in table order
        std::map<std::int64_t, std::vector<std::string>> zones;
        for (const json& e : member(zoning, "wwn"))
            for (const json& z : member(e, "zones")) zones[z.get<std::int64_t>()].push_back(e.value("wwn", ""));
        for (const auto& [id, wwns] : zones) {
            const std::string name = "wwn zone " + std::to_string(id);
            if (ns == "port") add("zone_of_disabled_type", chassis, name + ": name-server zoning is by port");
            if (std::none_of(wwns.begin(), wwns.end(), [&](const std::string& w) { return logged_in_.contains(w); }))
                add("no_logged_in_member", chassis, name + ": no member is logged in");
            // The same device named twice: one WWN twice, or a port WWN and its node WWN.
            std::set<std::string> named;
            for (const std::string& w : wwns) {
                const std::string device = device_key(w);
                if (!named.insert(device).second)
                    add("duplicate_member", chassis, name + ": " + w + " names a device already named");
            }
        }
    }

    // The port WWN of the device a WWN names (itself when no device has it as its node WWN).
    std::string device_key(const std::string& wwn) const {
        const auto it = port_of_node_.find(wwn);
        return it == port_of_node_.end() ? wwn : it->second;
    }

    const json& doc_;
    std::set<std::string> logged_in_;
    std::map<std::string, const json*> by_address_;      // the first device of each address
    std::map<std::string, std::string> port_of_node_;    // node WWN -> the first device's port WWN
    std::vector<finding> found_;
};

}  // namespace

json zone_findings(const json& doc) {
    json list = json::array();
    for (const finding& f : linter(doc).run()) list.push_back({{"kind", f.kind}, {"chassis", f.chassis}, {"text", f.text}});
    return list;
}

// snapshot [-o FILE] <ip-address>, snapshot --at T [--db URL] [-o FILE] [FABRIC]
int32_t snapshot(int32_t argc, char** argv) {
    const char* file = option_value("-o");
    const char* at = option_value("--at");
    parse_options(argc, argv);
    if (argc > 1) {
        // The description lets a fabric's name follow --at, and so takes two operands.
        complain("snapshot", "unexpected argument '" + std::string(argv[argc - 1]) + "'");
        std::fputs(usage_of(*find_command("snapshot")).c_str(), stderr);
        return exit_status::command_line;
    }
    if (at != nullptr) return snapshot_at(at, file, argc, argv);
    if (option_value("--db") != nullptr) {
        complain("snapshot", "--db names the history that --at reads: give --at too");
        return exit_status::command_line;
    }
    if (argc != 1) usage();
    const context_ptr ctx = open_switch("snapshot", argc, argv, 1);
    if (!ctx) return exit_status::no_context;
    const int failed = write_whole("snapshot", file, [&](std::FILE* out) { return snapshot::write(ctx.get(), argv[0], out); });
    if (failed < 0) return exit_status::failure;
    if (failed > 0) complain("snapshot", std::to_string(failed) + " switch(es) did not answer fully: see their status");
    return failed > 0 ? exit_status::failure : exit_status::done;
}

// locate [--snapshot FILE] [<ip-address>] <WWPN|WWNN|FC-address>
int32_t locate(int32_t argc, char** argv) {
    const char* file = option_value("--snapshot");
    parse_options(argc, argv);
    if (argc != (file ? 1 : 2)) usage();
    const std::string wanted = argv[argc - 1];
    const auto wwn = J::parse_wwn(wanted);
    const auto fc = wwn ? std::nullopt : J::parse_fc_address(wanted);
    if (!wwn && !fc) {
        complain("locate", "'" + wanted + "' is neither a WWN (16 hex digits) nor an FC address (6)");
        return exit_status::command_line;
    }
    int status = exit_status::done;
    const auto doc = fabric_document("locate", file, argc, argv,
                                     snapshot::section::ports | snapshot::section::zoning | snapshot::section::name_server,
                                     status);
    if (!doc) return status;
    const std::string key = wwn ? J::wwn_text(wwn->data()) : J::fc_address_text(*fc);
    const json found = locate_matching(*doc, [&](const json& d) {
        return d.value("port_wwn", "") == key || d.value("node_wwn", "") == key || d.value("fc_address", "") == key;
    });
    if (json_wanted()) {
        print_json({{"wanted", key}, {"found", found}});
    } else {
        for (std::size_t i = 0; i < found.size(); ++i) {
            if (i > 0) std::printf("\n");
            print_location(found[i]);
        }
        if (found.empty()) complain("locate", key + " is not logged in to the fabric");
    }
    return found.empty() ? exit_status::differs : exit_status::done;
}

// zone_lint [--snapshot FILE] [<ip-address>]
int32_t zone_lint(int32_t argc, char** argv) {
    const char* file = option_value("--snapshot");
    parse_options(argc, argv);
    if (argc != (file ? 0 : 1)) usage();
    int status = exit_status::done;
    const auto doc = fabric_document("zone_lint", file, argc, argv,
                                     snapshot::section::ports | snapshot::section::zoning | snapshot::section::name_server,
                                     status);
    if (!doc) return status;
    const json found = zone_findings(*doc);
    if (json_wanted()) {
        print_json({{"findings", found}});
    } else {
        for (const json& f : found)
            std::printf("chassis %d: %s: %s\n", f["chassis"].get<int>(), f["kind"].get<std::string>().c_str(),
                        f["text"].get<std::string>().c_str());
        if (found.empty()) std::printf("no zoning problems found\n");
    }
    return found.empty() ? exit_status::done : exit_status::differs;
}

}  // namespace telvar::data
