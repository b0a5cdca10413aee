// The commands that treat the fabric as data: the JSON forms of the report commands
// (`telvar --json <command>`), snapshot, diff, locate, zone_lint and zone_apply.
//
// Unlike the protocol's command functions, each of these returns the tool's exit status
// itself, and under --json writes one JSON document on standard output while every text the
// library prints (the usage text, "bad port number") goes to standard error.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "telvar/data/json_records.h"
#include "telvar/framework/command_context.h"
#include "telvar/telvar.h"

namespace telvar::data {

using json = ::telvar::json::json;

namespace exit_status {
inline constexpr int done = 0, differs = 1, command_line = 1, failure = 2, no_context = 3;
}

// Whether the dispatcher was given --json.
bool json_wanted();
void set_json_wanted(bool on);

// The commands (argv[0] is the command word).
int32_t snapshot(int32_t argc, char** argv);
int32_t diff(int32_t argc, char** argv);
int32_t locate(int32_t argc, char** argv);
int32_t zone_lint(int32_t argc, char** argv);
int32_t zone_apply(int32_t argc, char** argv);
// The fabric history that telvard records (history_cmds.cpp): what changed, the traps, and
// (snapshot --at) the fabric as it stood at a time. The telvar program runs them in a program of
// their own (history_program.cpp), so that the database libraries load only for them.
int32_t history(int32_t argc, char** argv);
int32_t events(int32_t argc, char** argv);
int32_t snapshot_at(const char* at, const char* file, int32_t argc, char** argv);

// `telvar --json <command> ...`: the JSON form that the command's description names (one of
// those below, or a command above); returns the exit status.
int json_dispatch(int32_t argc, char** argv);

// The JSON forms of the report commands, each taking the arguments of its text form.
namespace json_form {
int32_t version(int32_t argc, char** argv);
int32_t chassis_status(int32_t argc, char** argv);
int32_t chassis_mode(int32_t argc, char** argv);
int32_t chassis_tovs(int32_t argc, char** argv);
int32_t initiators(int32_t argc, char** argv);
int32_t links(int32_t argc, char** argv);
int32_t nameserver(int32_t argc, char** argv);
int32_t port_state(int32_t argc, char** argv);
int32_t port_type(int32_t argc, char** argv);
int32_t port_status(int32_t argc, char** argv);
int32_t port_counts(int32_t argc, char** argv);
int32_t test_status(int32_t argc, char** argv);
int32_t port_steering(int32_t argc, char** argv);
int32_t port_mfs_mode(int32_t argc, char** argv);
int32_t get_zone(int32_t argc, char** argv);
int32_t ns_zone_type(int32_t argc, char** argv);
int32_t get_wwn_zone(int32_t argc, char** argv);
int32_t get_trap_config(int32_t argc, char** argv);
int32_t discover(int32_t argc, char** argv);
int32_t smlget(int32_t argc, char** argv);
}  // namespace json_form

// ---- Helpers shared by the commands ----

// Prints "telvar: <command>: <why>" on standard error.
void complain(const char* command, const std::string& why);
// Writes a document on standard output, indented, with a final newline.
void print_json(const json& doc);
// Writes a document as print_json does: the members of `head` and, under `list`, `n` elements
// made one at a time by `element`, so that a long list is never held whole as JSON values.
void print_json_list(const json& head, const std::string& list, std::size_t n,
                     const std::function<json(std::size_t)>& element);
// Every JSON document the tool reads is bounded, so that no file can make it run out of memory
// or stack. The size leaves ample room over the largest real fabric: the snapshot of a 12-switch,
// 10,000-device fabric takes 3.2 MB (about 320 bytes a device), so 32 MiB is ten times that,
// while the parsed form of the worst 32 MiB file stays within a few hundred MB. Real documents
// nest under 10 levels.
inline constexpr std::uint64_t max_document_bytes = 32ull << 20;
inline constexpr int max_document_depth = 64;
// A JSON file: a regular file within the limits above; nullopt with the reason in `why`.
std::optional<json> load_json(const char* path, std::string& why);
// The text of a document named `name` in reasons, held to the nesting limit; as load_json.
std::optional<json> parse_json_text(const std::string& text, const std::string& name, std::string& why);
// Checks a zoning document as zone_apply does, planned against a switch with no zones; false
// with the reason in `why` (the entry of the fuzz harness of zoning documents).
bool check_zoning_document(const json& doc, std::string& why, std::vector<std::string>& plan);

// A member of a document that is an array (an object), or an empty one when it is not there or
// of another kind, so that a hand-written document cannot make a reader throw.
const json& member(const json& j, const char* key);
const json& member_object(const json& j, const char* key);

// A value as a line of diff or history shows it: a text bare, null as "none", a revision (a
// number under a key ending in _rev) in hex, a list as its elements joined by blanks.
std::string value_text(const std::string& key, const json& v);

// The tool's command line as main() received it (remembered there), for the history commands,
// which run it again in the program of their own.
void remember_command_line(int argc, char** argv);
const std::vector<char*>& command_line();

// Writes a document through `write` to `file`, or to standard output when it is null; a file
// appears only whole (written beside it and renamed at the end). Returns what `write` returns
// (a count of failures, or -1 when writing failed), or -1 after telling why it could not write.
int write_whole(const char* command, const char* file, const std::function<int(std::FILE*)>& write);

// Where a name-server object is: "chassis 1 port 2 (0x104201)".
std::string device_place(const json& device);

using telvar::context_ptr;

// open_ip_context, telling what failed on standard error (null then, with tv_api_errno set).
context_ptr open_switch(const char* command, int32_t argc, char** argv, int32_t min);

// Whether a document says it is one of our snapshots (a "format" of another kind says no).
bool is_snapshot(const json& doc);

// Whether the members of the snapshot read from `file` have the kinds the readers take
// (snapshot_shape.h); false after telling which one has not.
bool well_shaped(const char* command, const char* file, const json& doc);

// A snapshot file; nullopt after telling why (exit status 2 in `status`).
std::optional<json> load_snapshot(const char* command, const char* file, int& status);

// The document a command reads: the file of --snapshot, or a walk of the live fabric; nullopt
// after telling why, with the exit status in `status`.
std::optional<json> fabric_document(const char* command, const char* snapshot_file, int32_t argc,
                                    char** argv, unsigned sections, int& status);

}  // namespace telvar::data
