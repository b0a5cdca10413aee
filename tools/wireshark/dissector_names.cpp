// Writes telvar_names.lua, everything the Lua dissector knows of the protocol beyond the bit
// layout of the header's first two bytes: command and sub-command names from the simulator's
// command families, status bytes with their status codes and texts, trap codes and alert types
// from the library's tables, and the offsets from the layout headers. It runs at build time, so
// the dissector never carries a list of its own that could drift from the code.
#include <array>
#include <cstdio>
#include <map>
#include <string>
#include <string_view>

#include "proto/chassis/layout.h"
#include "proto/header.h"
#include "proto/traps/layout.h"
#include "switchsim/core/fabric.h"
#include "switchsim/core/handler_index.h"

namespace {

std::string quoted(std::string_view s) {
    std::string out = "\"";
    for (const char ch : s) {
        if (ch == '\n') continue;  // the status texts end in one
        if (ch == '"' || ch == '\\') out += '\\';
        out += ch;
    }
    return out + '"';
}

std::string hex(std::uint32_t v) {
    std::array<char, 16> b{};
    std::snprintf(b.data(), b.size(), "0x%x", v);
    return b.data();
}

std::string status_entry(int32_t code) {
    const char* text = tv_status_text(code);
    return "{code = " + std::to_string(code) + (text ? ", text = " + quoted(text) : "") + "}";
}

// The status byte table: every byte whose code differs from the one most bytes map to, and
// that one as the default.
void put_status(std::string& out) {
    std::map<int32_t, int> uses;
    for (int b = 0; b < 256; ++b) ++uses[tv::status_from_byte(static_cast<std::uint8_t>(b))];
    int32_t other = 0;
    for (const auto& [code, n] : uses)
        if (n > uses[other]) other = code;
    out += "  status = {\n";
    for (int b = 0; b < 256; ++b)
        if (const int32_t code = tv::status_from_byte(static_cast<std::uint8_t>(b)); code != other)
            out += "    [" + hex(static_cast<std::uint32_t>(b)) + "] = " + status_entry(code) + ",\n";
    out += "  },\n  status_other = " + status_entry(other) + ",\n";
}

void put_layout(std::string& out) {
    namespace E = tv::layout::traps::event_msg;
    namespace C = tv::layout::chassis;
    std::uint32_t chassis_mask = 0;
    for (int bit = 0; bit < 24; ++bit)
        if (sim::chassis_of(1u << bit) != 0) chassis_mask |= 1u << bit;
    // Offsets and lengths in decimal, codes and masks in hexadecimal.
    const std::pair<const char*, std::size_t> numbers[] = {
        {"port", TV_SWITCH_UDP_PORT},       {"header_len", TV_HDR_LEN},
        {"checksum_len", TV_CHKSUM_LEN},    {"status", tv::off::status},
        {"dest", tv::off::dest},            {"command", tv::off::command},
        {"length", tv::off::length},        {"seq", tv::off::seq},
        {"subcmd", tv::off::subcmd},        {"reset_len", C::reset_len},
        {"reset_checksum_at", C::reset_checksum_at}, {"trap_len", E::len},
        {"trap_unit", E::unit},             {"trap_code", E::code},
        {"trap_alert", E::alert},           {"trap_value", E::value},
        {"trap_change", E::change},         {"trap_source", E::source},
        {"trap_source_len", E::source_len}, {"test_alert_code", TV_TRAP_TEST_CODE},
    };
    const std::pair<const char*, std::uint32_t> codes[] = {
        {"chassis_mask", chassis_mask},
        {"default_dest", TV_DEFAULT_DEST},
        {"reset_command", TV_CMD_SWITCH_RESET},
        {"trap_command", TV_CMD_TRAP},
    };
    out += "  layout = {\n";
    for (const auto& [name, value] : numbers)
        out += std::string("    ") + name + " = " + std::to_string(value) + ",\n";
    for (const auto& [name, value] : codes)
        out += std::string("    ") + name + " = " + hex(value) + ",\n";
    out += "  },\n";
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fputs("usage: dissector_names OUTPUT.lua\n", stderr);
        return 2;
    }
    const std::vector<const sim::family_info*> families = sim::all_families();
    std::string why;
    if (!sim::handler_index::build(families, why)) {
        std::fprintf(stderr, "dissector_names: %s\n", why.c_str());
        return 1;
    }
    std::map<std::uint16_t, std::string> commands;
    std::map<std::uint16_t, std::map<std::uint32_t, std::string>> subcommands;
    for (const auto& c : sim::subcommand_commands) {
        commands[c.command] = c.name;
        subcommands[c.command];
    }
    for (const sim::family_info* f : families)
        for (const sim::handler_entry& h : f->handlers) {
            if (sim::has_subcommands(h.command))
                subcommands[h.command][h.subcommand] = h.name;
            else
                commands[h.command] = h.name;
        }

    std::string out =
        "-- Written at build time by dissector_names from the simulator's command families and\n"
        "-- the library's tables and layouts. Do not edit.\n"
        "return {\n  commands = {\n";
    for (const auto& [cmd, name] : commands) out += "    [" + hex(cmd) + "] = " + quoted(name) + ",\n";
    out += "  },\n  subcommands = {\n";
    for (const auto& [cmd, subs] : subcommands) {
        out += "    [" + hex(cmd) + "] = {\n";
        for (const auto& [sub, name] : subs) out += "      [" + hex(sub) + "] = " + quoted(name) + ",\n";
        out += "    },\n";
    }
    out += "  },\n";
    put_status(out);
    out += "  trap_codes = {\n";
    for (std::size_t i = 0; i < TV_TRAP_CODES; ++i)
        out += "    [" + std::to_string(i) + "] = " + quoted(trap_types[i]) + ",\n";
    out += "  },\n  alert_types = {[" + std::to_string(TV_TRAP_RISING) + "] = " +
           quoted(trap_alert_types[TV_TRAP_RISING]) + ", [" + std::to_string(TV_TRAP_FALLING) +
           "] = " + quoted(trap_alert_types[TV_TRAP_FALLING]) + "},\n";
    put_layout(out);
    out += "}\n";

    std::FILE* f = std::fopen(argv[1], "w");
    bool ok = f != nullptr && std::fwrite(out.data(), 1, out.size(), f) == out.size();
    if (f != nullptr && std::fclose(f) != 0) ok = false;
    if (!ok) {
        std::fprintf(stderr, "dissector_names: cannot write %s\n", argv[1]);
        std::remove(argv[1]);
        return 1;
    }
    return 0;
}
