// `telvar --json <command> ...`: the report commands with a JSON document instead of their
// text. Each reads what its text form reads, with the same arguments, and writes
//
//     {"status": {"code": N, "message": "..."}, <what the report shows>}
//
// with "busy": true in the status when the switch answered that it is busy (code 107), which
// a script may retry.
//
// A report command whose option changes the switch (port_state -s, chassis_mode -s, ...) has
// no JSON form of that option: a script that changes something runs the text form, whose
// "SUCCESS" and exit status say what it needs, and then reads with --json.
//
// Which command has which form is said by its description (command_table.cpp); the data
// commands are their own JSON forms.
#include <array>
#include <cstring>
#include <span>

#include "telvar/cli/command_table.h"
#include "telvar/commands/tool_commands.h"
#include "telvar/data/data_cmds.h"
#include "telvar/data/fabric_snapshot.h"
#include "telvar/framework/end_process.h"
#include "telvar/framework/option_loop.h"
#include "telvar/framework/output.h"
#include "telvar/framework/zone_args.h"
#include "tv_api/command_support.h"

namespace telvar::data {

namespace {

namespace J = telvar::json;

using body_fn = std::function<int32_t(tv_context* ctx, char** args, json& doc)>;

// Exit status of a report from its status code.
int exit_of(int32_t code) {
    if (code == TV_OK) return exit_status::done;
    return code == TV_ERR_PARAM ? exit_status::command_line : exit_status::failure;
}

// The frame of every JSON report: the context on argv[0] (at least `min` elements), the body,
// the document with its status.
int report(int32_t argc, char** argv, int32_t min, const body_fn& body) {
    json doc = json::object();
    tv_context* raw = open_ip_context(argc, argv, min, nullptr);
    if (raw == nullptr) {
        doc["status"] = J::status(tv_api_errno);
        print_json(doc);
        return exit_status::no_context;
    }
    const context_ptr ctx{raw};
    const int32_t code = body(ctx.get(), argv, doc);
    doc["status"] = J::status(code);
    print_json(doc);
    return exit_of(code);
}

[[noreturn]] void refuse_change(const char* command, char letter) {
    std::fprintf(stderr,
                 "telvar: --json reports what is; run '%s -%c' without --json to change it\n",
                 command, letter);
    end_process(exit_status::command_line);
}

// The option loop of a command whose options all change the switch.
void read_only_options(int32_t& argc, char**& argv, std::span<const option_def> changing) {
    const char* command = argv[0];
    parse_options(argc, argv, changing, [&](char letter, const char*) { refuse_change(command, letter); });
}

// The stage type as chassis_mode reports it.
int32_t stage_type(tv_context* ctx, json& doc) {
    uint32_t type = 0;
    uint8_t stage = 0, flag = 0;
    if (tv_get_chassis_type(ctx, &type) != TV_OK) return tv_api_errno;
    if (type != 1) {
        doc["stage_type"] = "hub";
        return TV_OK;
    }
    if (tv_get_stagetype(ctx, 1, &stage) != TV_OK) return tv_api_errno;
    if (stage == 0 && tv_get_slzoningmode_flag(ctx, &flag) != TV_OK) return tv_api_errno;
    doc["stage_type"] = stage != 0 ? "crosslink" : flag == 1 ? "sl zones" : "i/o transfer";
    return TV_OK;
}

// The port text of port_state and port_type against the switch's port count; TV_ERR_PARAM
// after printing a bad number (on standard error, as every text under --json).
int32_t port_of(const char* text, int32_t& port) {
    if (Max_Ports <= 0) return TV_ERR_PARAM;
    const port_text_result p = read_port_text(text, true);
    if (!p.ok && !p.printed) usage();
    port = p.port;
    return p.ok ? TV_OK : TV_ERR_PARAM;
}

bool listed(int32_t port, std::uint32_t i) { return port == TV_ALL_PORTS || static_cast<std::uint32_t>(port) == i; }

// The frame of a report on the address and a port text (a number from 1 or "all"): `body`
// with the port from 0, or TV_ALL_PORTS.
int port_report(int32_t argc, char** argv, const std::function<int32_t(tv_context*, int32_t port, json& doc)>& body) {
    return report(argc, argv, 2, [&](tv_context* ctx, char** args, json& doc) -> int32_t {
        int32_t port = 0;
        if (tv_api_errno != TV_OK) return tv_api_errno;  // the port count could not be read
        if (const int32_t code = port_of(args[1], port); code != TV_OK) return code;
        return body(ctx, port, doc);
    });
}

// "ports": one entry per port of a report over one port or every port; `each` fills the entry
// of a port (from 0) and returns its status. As in the text reports, a port that fails carries
// its status and the others go on. Returns the first failure.
int32_t each_port(int32_t port, json& doc, const std::function<int32_t(int32_t p, json& entry)>& each) {
    json ports = json::array();
    int32_t first_failure = TV_OK;
    const bool all = port == TV_ALL_PORTS;
    for (int32_t p = all ? 0 : port; p <= (all ? Max_Ports - 1 : port); ++p) {
        json entry = {{"port", p + 1}};
        if (const int32_t code = each(p, entry); code != TV_OK) {
            entry["status"] = J::status(code);
            if (first_failure == TV_OK) first_failure = code;
        }
        ports.push_back(std::move(entry));
    }
    doc["ports"] = std::move(ports);
    return first_failure;
}

// A report without options whose ports are read one by one: `read` fills the entry of a port
// (from 0) and may add to the document.
int port_by_port(int32_t argc, char** argv, const std::function<int32_t(tv_context*, int32_t p, json& entry, json& doc)>& read) {
    parse_options(argc, argv);
    return port_report(argc, argv, [&](tv_context* ctx, int32_t port, json& doc) -> int32_t {
        return each_port(port, doc, [&](int32_t p, json& entry) { return read(ctx, p, entry, doc); });
    });
}

}  // namespace

namespace json_form {

int32_t version(int32_t argc, char** argv) {
    parse_options(argc, argv);
    return report(argc, argv, 1, [](tv_context* ctx, char**, json& doc) -> int32_t {
        tv_version_info v{};
        if (tv_get_version(ctx, &v) != TV_OK) return tv_api_errno;
        doc["version"] = J::of(v);
        return TV_OK;
    });
}

int32_t chassis_status(int32_t argc, char** argv) {
    parse_options(argc, argv);
    return report(argc, argv, 1, [](tv_context* ctx, char**, json& doc) -> int32_t {
        tv_chassis_status s{};
        tv_sysconfig cfg{};
        if (tv_get_chassis_status(ctx, &s) != TV_OK) return tv_api_errno;
        doc["chassis_status"] = J::of(s);
        if (tv_get_snmp_sysconfig(ctx, &cfg) != TV_OK) return tv_api_errno;
        doc["system"] = J::of(cfg);
        return TV_OK;
    });
}

int32_t chassis_mode(int32_t argc, char** argv) {
    constexpr std::array<option_def, 1> changing{{{'s', true}}};
    read_only_options(argc, argv, changing);
    return report(argc, argv, 1, [](tv_context* ctx, char**, json& doc) -> int32_t {
        uint32_t mode = 0;
        if (tv_get_chassis_mode(ctx, &mode) != TV_OK) return tv_api_errno;
        constexpr std::array<const char*, 4> names{"", "online", "offline", "test"};
        doc["chassis_mode"] = mode >= 1 && mode <= 3 ? json(names[mode]) : json("unrecognized (" + std::to_string(mode) + ")");
        return stage_type(ctx, doc);
    });
}

int32_t chassis_tovs(int32_t argc, char** argv) {
    constexpr std::array<option_def, 5> changing{{{'e', true}, {'a', true}, {'t', true}, {'m', true}, {'s', false}}};
    read_only_options(argc, argv, changing);
    return report(argc, argv, 1, [](tv_context* ctx, char**, json& doc) -> int32_t {
        tv_switch_tovs active{}, saved{};
        if (tv_get_switch_tovs(ctx, 1, &active) != TV_OK) return tv_api_errno;
        if (tv_get_switch_tovs(ctx, 0, &saved) != TV_OK) return tv_api_errno;
        doc["active"] = J::of(active);
        doc["saved"] = J::of(saved);
        return TV_OK;
    });
}

int32_t initiators(int32_t argc, char** argv) {
    parse_options(argc, argv);
    return report(argc, argv, 1, [](tv_context* ctx, char**, json& doc) -> int32_t {
        tv_version_info v{};
        tv_initiators table{};
        if (tv_get_version(ctx, &v) != TV_OK || tv_get_initiators(ctx, &table) != TV_OK) return tv_api_errno;
        doc["switch_wwn"] = J::wwn_text(v.wwn);
        doc["initiators"] = J::initiators_of(table);
        return TV_OK;
    });
}

int32_t links(int32_t argc, char** argv) {
    parse_options(argc, argv);
    return report(argc, argv, 1, [](tv_context* ctx, char** args, json& doc) -> int32_t {
        json walked = snapshot::take(ctx, args[0], 0);
        int32_t first_failure = TV_OK;
        for (const json& sw : walked["switches"])
            if (first_failure == TV_OK) first_failure = sw["status"]["code"];
        doc["switches"] = std::move(walked["switches"]);
        return first_failure;
    });
}

int32_t nameserver(int32_t argc, char** argv) {
    parse_options(argc, argv);
    return report(argc, argv, 1, [](tv_context* ctx, char**, json& doc) -> int32_t {
        tv_nameserver_list list{};
        const int32_t code = tv_get_nameserverdata(ctx, &list);
        json devices = json::array();
        for (int32_t i = 0; code == TV_OK && i < list.count; ++i) devices.push_back(J::of(list.entries[i]));
        tv_free_nameserverdata(&list);
        doc["devices"] = std::move(devices);
        return code;
    });
}

int32_t port_state(int32_t argc, char** argv) {
    constexpr std::array<option_def, 1> changing{{{'s', true}}};
    read_only_options(argc, argv, changing);
    return port_report(argc, argv, [](tv_context* ctx, int32_t port, json& doc) -> int32_t {
        tv_port_state st{};
        const int32_t code = tv_get_port_state(ctx, &st);
        json ports = json::array();
        for (std::uint32_t i = 0; code == TV_OK && i < st.count; ++i)
            if (listed(port, i))
                ports.push_back({{"port", i + 1},
                                 {"admin", J::port_state_word(st.entries[i].admin)},
                                 {"operational", J::port_state_word(st.entries[i].operational)}});
        tv_free_port_state(&st);
        doc["ports"] = std::move(ports);
        return code;
    });
}

int32_t port_type(int32_t argc, char** argv) {
    constexpr std::array<option_def, 1> changing{{{'s', true}}};
    read_only_options(argc, argv, changing);
    return port_report(argc, argv, [](tv_context* ctx, int32_t port, json& doc) -> int32_t {
        tv_port_types types{};
        const int32_t code = tv_get_port_types(ctx, &types);
        json ports = json::array();
        for (std::uint32_t i = 0; code == TV_OK && i < types.count; ++i)
            if (listed(port, i)) ports.push_back({{"port", i + 1}, {"type", J::port_type_word(types.types[i])}});
        tv_free_port_types(&types);
        doc["ports"] = std::move(ports);
        return code;
    });
}

// port_status [-a]: with -a the ALPAs still free, which the loop devices of SL ports take, as
// the text report marks them.
int32_t port_status(int32_t argc, char** argv) {
    bool alpas = false;
    constexpr std::array<option_def, 1> own{{{'a', false}}};
    parse_options(argc, argv, own, [&](char, const char*) { alpas = true; });
    return port_report(argc, argv, [&](tv_context* ctx, int32_t port, json& doc) -> int32_t {
        if (alpas)
            if (const int32_t code = init_record_alpa(ctx); code != TV_OK) return code;
        const int32_t code = each_port(port, doc, [&](int32_t p, json& entry) {
            tv_port_status st{};
            const int32_t status = tv_get_port_status(ctx, static_cast<uint32_t>(p), &st);
            if (status == TV_OK) entry = J::of(st);
            const bool loop_listed = status == TV_OK && st.operational != TV_PORT_STATE_OFF && st.logged_in != 0;
            if (loop_listed && st.type == TV_PORT_TYPE_SL && st.loop.alpas != nullptr)
                for (uint32_t i = 0; i < st.loop.count; ++i) record_alpa(p, st.loop.alpas[i]);
            tv_free_port_status(&st);
            return status;
        });
        if (alpas) doc["available_alpas"] = J::available_alpas();
        return code;
    });
}

int32_t port_counts(int32_t argc, char** argv) {
    return port_by_port(argc, argv, [](tv_context* ctx, int32_t p, json& entry, json&) -> int32_t {
        tv_port_counters counters{};
        if (tv_get_port_counters(ctx, static_cast<uint8_t>(p), &counters) != TV_OK) return tv_api_errno;
        entry["counters"] = J::of(counters);
        return TV_OK;
    });
}

int32_t test_status(int32_t argc, char** argv) {
    parse_options(argc, argv);
    return port_report(argc, argv, [](tv_context* ctx, int32_t port, json& doc) -> int32_t {
        tv_test_status_info st{};
        if (tv_test_status(ctx, &st) != TV_OK) return tv_api_errno;
        doc.update(J::of(st, port));
        return TV_OK;
    });
}

int32_t port_steering(int32_t argc, char** argv) {
    return port_by_port(argc, argv, [](tv_context* ctx, int32_t p, json& entry, json& doc) -> int32_t {
        tv_port_steering st{};
        if (tv_get_port_steering(ctx, static_cast<uint32_t>(p), &st) != TV_OK) return tv_api_errno;
        doc["fc_address"] = J::fc_address_text(st.fc_addr);
        entry["routes"] = J::routes_of(st);
        return TV_OK;
    });
}

int32_t port_mfs_mode(int32_t argc, char** argv) {
    constexpr std::array<option_def, 2> changing{{{'M', true}, {'s', false}}};
    read_only_options(argc, argv, changing);
    return port_report(argc, argv, [](tv_context* ctx, int32_t port, json& doc) -> int32_t {
        tv_port_mfs_modes modes{};
        const int32_t code = tv_get_port_mfs_mode(ctx, &modes);
        doc["ports"] = code == TV_OK ? J::mfs_modes_of(modes, port) : json::array();
        tv_free_port_mfs_mode(&modes);
        return code;
    });
}

int32_t get_zone(int32_t argc, char** argv) {
    bool saved = false;
    constexpr std::array<option_def, 1> own{{{'s', false}}};
    parse_options(argc, argv, own, [&](char, const char*) { saved = true; });
    return report(argc, argv, 3, [&](tv_context* ctx, char** args, json& doc) -> int32_t {
        const zone_type_arg type = parse_zone_type(args[1]);
        if (type.what == zone_type_arg::kind::unknown_word) usage();
        if (type.what == zone_type_arg::kind::bad_number) return int32_t{TV_ERR_PARAM};
        const auto t = static_cast<std::uint32_t>(type.value);
        doc["type"] = J::zone_type_word(t);
        doc["saved"] = saved;
        json zones = json::array();
        int32_t code = TV_OK;
        if (std::strcmp(args[2], "all") == 0) {
            tv_port_zone_set set{t, 0, nullptr};
            code = tv_get_port_zone_set(ctx, &set, saved ? 1 : 0);
            for (std::uint32_t i = 0; code == TV_OK && i < set.count; ++i) zones.push_back(J::of(*set.zones[i]));
            tv_free_port_zone_set(&set, 0);
        } else {
            if (!starts_with_digit(args[2])) usage();
            // The library refuses ids beyond the type's table with 301 before sending anything.
            tv_port_zone zone{t, static_cast<std::uint32_t>(tv::to_int(args[2])), 0, 0, nullptr};
            code = tv_get_port_zone(ctx, &zone, saved ? 1 : 0);
            if (code == TV_OK) zones.push_back(J::of(zone));
            tv_free_port_zone(&zone, 0);
        }
        doc["zones"] = std::move(zones);
        return code;
    });
}

int32_t ns_zone_type(int32_t argc, char** argv) {
    constexpr std::array<option_def, 1> changing{{{'s', true}}};
    read_only_options(argc, argv, changing);
    return report(argc, argv, 1, [](tv_context* ctx, char**, json& doc) -> int32_t {
        uint32_t type = 0;
        if (tv_get_type_ns_zoning(ctx, &type) != TV_OK) return tv_api_errno;
        doc["ns_zoning"] = J::ns_zoning_word(type);
        return TV_OK;
    });
}

int32_t get_wwn_zone(int32_t argc, char** argv) {
    parse_options(argc, argv);
    return report(argc, argv, 1, [](tv_context* ctx, char**, json& doc) -> int32_t {
        json entries;
        if (const int32_t code = snapshot::read_wwn_zones(ctx, entries); code != TV_OK) return code;
        doc["total"] = entries.size();
        doc["entries"] = std::move(entries);
        return TV_OK;
    });
}

int32_t get_trap_config(int32_t argc, char** argv) {
    parse_options(argc, argv);
    return report(argc, argv, 1, [](tv_context* ctx, char**, json& doc) -> int32_t {
        tv_trapping_status st{};
        if (tv_get_trapping_status(ctx, 0, &st) != TV_OK) return tv_api_errno;
        doc.update(J::of(st));
        tv_trap_config_list list{};
        const int32_t code = tv_get_all_trap_configs(ctx, 0, &list);
        doc["codes"] = J::trap_configs_of(list);
        tv_free_trap_configs(&list);
        return code;
    });
}

// discover: the addresses that answered; no context is opened.
int32_t discover(int32_t argc, char** argv) {
    const std::unique_ptr<char*, void (*)(char**)> found{tool::discover_addresses(argc, argv),
                                                         [](char** list) { tv_free_discovery(list, nullptr); }};
    const int32_t code = found ? TV_OK : tv_api_errno;
    json switches = json::array();
    for (char** ip = found.get(); ip != nullptr && *ip != nullptr; ++ip) switches.push_back(*ip);
    print_json({{"status", J::status(code)}, {"switches", switches}});
    return exit_of(code);
}

int32_t smlget(int32_t argc, char** argv) {
    json doc = json::object();
    int32_t code = TV_OK;
    bool sent = false;
    const outcome returned = tool::with_sml_request(argc, argv, [&](tv_context* ctx, const char* request) {
        sent = true;
        char* value = nullptr;
        int32_t switch_code = 0;
        if (tv_smlget(ctx, request, &value, &switch_code) != TV_OK) {
            code = tv_api_errno;
            return outcome::of_status(code);
        }
        doc["value"] = value;
        doc["code"] = switch_code;
        tv_smlfree(&value);
        return outcome::done();
    });
    if (!sent) code = returned.code;  // the request was refused or no context was opened
    doc["status"] = J::status(code);
    print_json(doc);
    if (!sent && code != TV_ERR_PARAM) return exit_status::no_context;
    return exit_of(code);
}

}  // namespace json_form

int json_dispatch(int32_t argc, char** argv) {
    set_json_wanted(true);
    fp = stderr;  // the library's texts must not mix with the document
    const std::string_view word = argc > 0 ? argv[0] : "";
    const command* c = find_command(word);
    if (c != nullptr && c->json != nullptr) return static_cast<int>(c->json(argc, argv));
    if (c != nullptr)
        complain("--json", "'" + std::string(word) + "' has no JSON form");
    else
        std::fprintf(stderr, "telvar: unknown command '%.*s'\n", static_cast<int>(word.size()), word.data());
    return exit_status::command_line;
}

}  // namespace telvar::data
