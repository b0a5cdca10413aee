// The model the pictures draw, read from a snapshot document, and the map and panel commands
// (see fabric_picture.h).
//
// A snapshot file is input from a person: every member is read through accessors that give
// an empty value for a missing member or one of another kind, and every list is bounded by
// what a fabric holds, so that the drawing code can trust the model.
#include "telvar/pictures/fabric_picture.h"

#include <sys/stat.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <map>
#include <set>
#include <unordered_map>

#include "proto/topology/layout.h"
#include "telvar/cli/given_options.h"
#include "telvar/data/data_cmds.h"
#include "telvar/data/fabric_snapshot.h"
#include "telvar/framework/option_loop.h"

namespace telvar::picture {

namespace {

namespace D = telvar::data;
namespace J = telvar::json;

constexpr int max_port = TV_MAX_PORTS;
constexpr std::size_t max_devices_per_port = 126;  // a full loop
constexpr std::size_t max_devices = std::size_t{TV_MAX_CHASSIS} * max_port * max_devices_per_port;

std::string text_of(const json& j, const char* key) {
    return j.is_object() && j.contains(key) && j[key].is_string() ? j[key].get<std::string>() : std::string();
}

std::optional<std::int64_t> integer_of(const json& j, const char* key) {
    if (!j.is_object() || !j.contains(key) || !j[key].is_number_integer()) return std::nullopt;
    return j[key].is_number_unsigned() && j[key].get<std::uint64_t>() > INT64_MAX ? std::nullopt
                                                                                   : std::optional(j[key].get<std::int64_t>());
}

// A number of `key` within [lo, hi], or nullopt.
std::optional<int> bounded(const json& j, const char* key, int lo, int hi) {
    const auto v = integer_of(j, key);
    if (!v || *v < lo || *v > hi) return std::nullopt;
    return static_cast<int>(*v);
}

port_condition condition_of(const std::string& admin, const std::string& operational) {
    if (operational == "fail") return port_condition::failed;
    if (operational == "test") return port_condition::testing;
    if (admin == "off" || operational == "off") return port_condition::offline;
    // "on", "sl", or a port whose state was not read; an unrecognised word is trouble.
    if (operational.empty() || operational == "on" || operational == "sl") return port_condition::up;
    return port_condition::failed;
}

class reader {
public:
    explicit reader(const json& doc) : doc_(doc) {}

    std::optional<fabric> run(std::string& why) {
        if (text_of(doc_, "format") != "telvar-snapshot") return fail(why, "not a snapshot");
        const json& devices = D::member(D::member_object(doc_, "name_server"), "devices");
        if (devices.size() > max_devices) return fail(why, "more devices than a fabric holds");
        for (const json& d : devices)
            if (const std::string a = text_of(d, "fc_address"); !a.empty()) name_server_.emplace(a, &d);
        const json& switches = D::member(doc_, "switches");
        if (switches.size() > TV_MAX_CHASSIS) return fail(why, "more switches than a fabric holds");
        for (const json& sw : switches)
            if (!read_switch(sw)) return fail(why, problem_);
        if (out_.switches.empty()) return fail(why, "no switch of the fabric was read");
        add_links();
        std::sort(out_.switches.begin(), out_.switches.end(),
                  [](const fabric_switch& a, const fabric_switch& b) { return a.chassis < b.chassis; });
        return std::move(out_);
    }

private:
    std::optional<fabric> fail(std::string& why, const std::string& text) {
        why = text;
        return std::nullopt;
    }

    bool problem(std::string text) {
        problem_ = std::move(text);
        return false;
    }

    bool read_switch(const json& sw) {
        // The record of a walk whose first switch did not answer says only that.
        if (sw.is_object() && !sw.contains("chassis") && integer_of(D::member_object(sw, "status"), "code") != TV_OK)
            return true;
        const auto chassis = bounded(sw, "chassis", 0, TV_MAX_CHASSIS - 1);
        if (!chassis) return problem("a switch without a chassis number (0 to 63)");
        if (!chassis_.insert(*chassis).second) return problem("chassis " + std::to_string(*chassis) + " is listed twice");
        const std::string where = "chassis " + std::to_string(*chassis);
        fabric_switch s;
        s.chassis = *chassis;
        s.fc_address = text_of(sw, "fc_address");
        const json& status = D::member_object(sw, "status");
        s.reachable = integer_of(status, "code") == TV_OK;
        s.status = text_of(status, "message");
        const json& identity = D::member_object(sw, "identity");
        s.wwn = text_of(identity, "wwn");
        if (const auto rev = integer_of(identity, "flash_rev"); rev && *rev >= 0) {
            char t[24];
            std::snprintf(t, sizeof t, "%llx", static_cast<unsigned long long>(*rev));
            s.firmware = t;
        }
        s.description = text_of(D::member_object(sw, "system"), "description");

        const bool roles_known = sw.is_object() && sw.contains("initiators") && sw["initiators"].is_array();
        std::set<std::string> initiators;
        for (const json& i : D::member(sw, "initiators")) initiators.insert(text_of(i, "port_wwn"));

        const json& ports = D::member(sw, "ports");
        s.ports_read = sw.is_object() && sw.contains("ports") && sw["ports"].is_array();
        if (ports.size() > max_port) return problem(where + " has more ports than a switch holds");
        std::set<int> numbers;
        for (const json& pj : ports) {
            port p;
            const auto number = bounded(pj, "port", 1, max_port);
            if (!number || !numbers.insert(*number).second)
                return problem(where + ": a port without a number of its own (1 to 24)");
            p.number = *number;
            p.type = text_of(pj, "type");
            p.admin = text_of(pj, "admin");
            p.operational = text_of(pj, "operational");
            p.transceiver = text_of(pj, "transceiver");
            p.condition = condition_of(p.admin, p.operational);
            const json& attached = D::member(pj, "devices");
            if (attached.size() > max_devices_per_port)
                return problem(where + " port " + std::to_string(p.number) + " lists more devices than a port holds");
            for (const json& a : attached) {
                device d;
                d.fc_address = a.is_string() ? a.get<std::string>() : std::string("?");
                if (d.fc_address != "?" && !addresses_.insert(d.fc_address).second)
                    return problem("device " + shown_text(d.fc_address, 8) + " is listed twice");
                if (const auto it = name_server_.find(d.fc_address); it != name_server_.end()) {
                    d.port_wwn = text_of(*it->second, "port_wwn");
                    d.name = text_of(*it->second, "port_name");
                    if (d.name.empty()) d.name = text_of(*it->second, "node_name");
                }
                d.role = !roles_known                          ? device_role::unknown
                         : initiators.contains(d.port_wwn) && !d.port_wwn.empty() ? device_role::initiator
                                                                                  : device_role::target;
                p.devices.push_back(std::move(d));
            }
            s.ports.push_back(std::move(p));
        }
        std::sort(s.ports.begin(), s.ports.end(), [](const port& a, const port& b) { return a.number < b.number; });

        const json& links = D::member(sw, "links");
        if (links.size() > max_port) return problem(where + " has more links than ports");
        for (const json& l : links) {
            const auto port = bounded(l, "port", 1, max_port);
            const auto remote = bounded(l, "remote_chassis", 0, TV_MAX_CHASSIS - 1);
            const auto remote_port = bounded(l, "remote_port", 1, max_port);
            if (!port || !remote || !remote_port) return problem(where + ": a link without its ports");
            neighbour a{*chassis, *port}, b{*remote, *remote_port};
            if (std::pair(b.chassis, b.port) < std::pair(a.chassis, a.port)) std::swap(a, b);
            ends_.insert({{a.chassis, a.port}, {b.chassis, b.port}});
        }
        out_.switches.push_back(std::move(s));
        return true;
    }

    // Each link once (both ends report it), the far end on each port, and a record for a
    // switch that a link leads to but that the document does not describe.
    void add_links() {
        for (const auto& [a, b] : ends_) {
            out_.links.push_back({{a.first, a.second}, {b.first, b.second}});
            for (const auto& [here, there] : {std::pair(a, b), std::pair(b, a)}) {
                if (chassis_.insert(here.first).second) {
                    fabric_switch missing;
                    missing.chassis = here.first;
                    missing.fc_address = J::fc_address_text(0x100000u | (static_cast<unsigned>(here.first) << 14));
                    missing.reachable = false;
                    missing.status = "not in the snapshot";
                    out_.switches.push_back(std::move(missing));
                }
                for (fabric_switch& s : out_.switches)
                    if (s.chassis == here.first)
                        for (port& p : s.ports)
                            if (p.number == here.second) p.linked = neighbour{there.first, there.second};
            }
        }
    }

    const json& doc_;
    std::unordered_map<std::string, const json*> name_server_;
    std::set<int> chassis_;
    std::set<std::string> addresses_;  // of the devices on ports: a device has one
    std::set<std::pair<std::pair<int, int>, std::pair<int, int>>> ends_;
    fabric out_;
    std::string problem_;
};

// ---- The commands ----

namespace status = D::exit_status;

// An operand names a snapshot file when it has a slash or ends in .json, or is a file there;
// anything else is a switch's address.
bool names_a_file(const char* operand) {
    const std::string_view s = operand;
    struct stat st{};
    return s.find('/') != std::string_view::npos || s.ends_with(".json") ||
           (stat(operand, &st) == 0 && S_ISREG(st.st_mode));
}

// The document of the operand argv[0]: the snapshot file, or a walk of the live fabric. A live
// walk with failures still gives a document (the picture shows them); `exit_code` becomes 2.
std::optional<json> document_of(const char* command, int32_t argc, char** argv, int& exit_code) {
    if (names_a_file(argv[0])) return D::load_snapshot(command, argv[0], exit_code);
    const D::context_ptr ctx = D::open_switch(command, argc, argv, 1);
    if (!ctx) {
        exit_code = status::no_context;
        return std::nullopt;
    }
    using namespace snapshot::section;
    json doc = snapshot::take(ctx.get(), argv[0], chassis | ports | initiators | name_server);
    if (const json& first = doc["switches"].at(0); !first.contains("chassis")) {
        D::complain(command, std::string(argv[0]) + ": " + text_of(D::member_object(first, "status"), "message"));
        exit_code = status::failure;
        return std::nullopt;
    }
    if (const json& ns = doc["name_server"]["status"]; ns.is_object() && ns["code"] != TV_OK) {
        D::complain(command, "name server: " + ns["message"].get<std::string>());
        exit_code = status::failure;
    }
    for (const json& sw : doc["switches"])
        if (sw["status"]["code"] != TV_OK) {
            D::complain(command, "switch " + sw.value("fc_address", std::string(argv[0])) + ": " +
                                     sw["status"]["message"].get<std::string>() + " (drawn as unreachable)");
            exit_code = status::failure;
        }
    return doc;
}

// Writes the picture to the file (whole or not at all: written beside it, then renamed) or to
// standard output.
bool write_out(const char* command, const char* file, const std::string& text) {
    if (file == nullptr) {
        std::fwrite(text.data(), 1, text.size(), stdout);
        if (std::fflush(stdout) == 0 && !std::ferror(stdout)) return true;
        D::complain(command, "cannot write the picture to standard output");
        return false;
    }
    const std::string partial = std::string(file) + ".partial";
    std::FILE* out = std::fopen(partial.c_str(), "w");
    int error = out == nullptr ? errno : 0;
    if (out != nullptr && std::fwrite(text.data(), 1, text.size(), out) != text.size()) error = errno;
    if (out != nullptr && std::fclose(out) != 0 && error == 0) error = errno;
    if (error == 0 && std::rename(partial.c_str(), file) != 0) error = errno;
    if (error == 0) return true;
    D::complain(command, "cannot write " + std::string(file) + ": " + std::strerror(error));
    std::remove(partial.c_str());
    return false;
}

// The fabric of the operand, or nullopt after telling why (with the exit status in `exit_code`).
std::optional<fabric> fabric_of(const char* command, int32_t argc, char** argv, int& exit_code) {
    const auto doc = document_of(command, argc, argv, exit_code);
    if (!doc) return std::nullopt;
    std::string why;
    auto f = read_fabric(*doc, why);
    if (!f) {
        D::complain(command, std::string(argv[0]) + ": " + why);
        exit_code = status::failure;
    }
    return f;
}

// The switches a selector names: a chassis number, an FC address (0x and 1 to 6 hex digits) or a
// WWN; nullopt when it is none of these.
std::optional<std::vector<int>> chassis_named(const fabric& f, std::string_view selector) {
    const auto wwn = J::parse_wwn(selector);
    const auto fc = selector.starts_with("0x") ? J::parse_fc_address(selector) : std::nullopt;
    int number = -1;
    if (!selector.empty() && selector.size() <= 2 && selector.find_first_not_of("0123456789") == std::string_view::npos)
        number = std::stoi(std::string(selector));
    if (!wwn && !fc && number < 0) return std::nullopt;
    std::vector<int> out;
    for (const fabric_switch& s : f.switches)
        if ((wwn && s.wwn == J::wwn_text(wwn->data())) || (fc && s.fc_address == J::fc_address_text(tv::layout::topology::switch_addr_of(*fc))) ||
            s.chassis == number)
            out.push_back(s.chassis);
    return out;
}

}  // namespace

std::optional<fabric> read_fabric(const json& doc, std::string& why) { return reader(doc).run(why); }

std::string shown_text(std::string_view text, std::size_t room) {
    std::string out;
    for (const char c : text) {
        if ((static_cast<unsigned char>(c) & 0xC0) == 0x80) continue;  // a character of several bytes is one '?'
        out.push_back(c >= 0x20 && c < 0x7F ? c : '?');
    }
    if (out.size() > room && room > 0) {
        out.resize(room - 1);
        out.push_back('~');
    }
    return out;
}

std::string condition_mark(const port& p) {
    switch (p.condition) {
        case port_condition::up: return {};
        case port_condition::offline: return "OFFLINE";
        case port_condition::testing: return "IN TEST";
        case port_condition::failed: break;
    }
    return p.operational == "fail" ? "FAILED" : "STATE " + shown_text(p.operational, 16);
}

const char* role_word(device_role role) {
    return role == device_role::initiator ? "initiator" : role == device_role::target ? "target" : "device";
}

std::string plural(std::size_t n, const char* word) { return std::to_string(n) + " " + word + (n == 1 ? "" : "s"); }

std::string device_count(const std::vector<device>& devices) {
    std::size_t initiators = 0, targets = 0;
    for (const device& d : devices) {
        initiators += d.role == device_role::initiator;
        targets += d.role == device_role::target;
    }
    const std::string count = plural(devices.size(), "device");
    if (devices.empty() || initiators + targets != devices.size()) return count;
    if (devices.size() == 1) return count + (initiators == 1 ? ": an initiator" : ": a target");
    if (targets == 0) return count + ": all initiators";
    if (initiators == 0) return count + ": all targets";
    return count + ": " + plural(initiators, "initiator") + ", " + plural(targets, "target");
}

// map [-o FILE] [--devices] <ip-address|snapshot.json>
int32_t map(int32_t argc, char** argv) {
    map_options options;
    options.all_devices = option_given("--devices");
    const char* file = option_value("-o");
    parse_options(argc, argv);
    if (argc != 1) usage();
    int exit_code = status::done;
    const auto f = fabric_of("map", argc, argv, exit_code);
    if (!f) return exit_code;
    std::string why;
    const auto svg = map_svg(*f, options, why);
    if (!svg) {
        D::complain("map", why);
        return status::failure;
    }
    return write_out("map", file, *svg) ? exit_code : status::failure;
}

// panel [-o FILE] <ip-address|snapshot.json> [switch]
int32_t panel(int32_t argc, char** argv) {
    const char* file = option_value("-o");
    parse_options(argc, argv);
    if (argc < 1 || argc > 2) usage();
    const char* selector = argc == 2 ? argv[1] : nullptr;
    // A selector that can name no switch is refused before the fabric is walked.
    if (selector != nullptr && !chassis_named(fabric{}, selector)) {
        D::complain("panel", "'" + std::string(selector) + "' is not a chassis number, an FC address (0x...) or a WWN");
        return status::command_line;
    }
    int exit_code = status::done;
    const auto f = fabric_of("panel", argc, argv, exit_code);
    if (!f) return exit_code;
    std::vector<int> chosen;
    if (selector != nullptr) {
        chosen = *chassis_named(*f, selector);
        if (chosen.empty()) {
            D::complain("panel", "no switch " + std::string(selector) + " in the fabric");
            return status::command_line;
        }
    }
    return write_out("panel", file, panel_svg(*f, chosen)) ? exit_code : status::failure;
}

}  // namespace telvar::picture
