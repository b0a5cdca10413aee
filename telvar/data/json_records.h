// The JSON form of the library's records, one writer per record beside its text display, and
// the text forms the JSON documents use for the values that are not plain numbers:
//
//   WWN          "10:00:00:00:5e:01:00:00"  (8 bytes, lower-case, colon-separated)
//   FC address   "0x104000"                 (24 bits, six lower-case hex digits after 0x)
//   MAC address  "02:00:5e:00:53:01"
//   IPv4 address "192.0.2.11"
//   status       {"code": 106, "message": "No response received"}
//
// Ports are counted from 1, as on the command line and in every text report. Coded values
// (port types and states, zone types, transceivers) are words; a code without a word is
// written "unrecognized (N)" so that nothing the switch sent is lost. docs/json.md is the
// reference, docs/telvar.schema.json the schema the tests validate against.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

#include "telvar/tv_api.h"

namespace telvar::json {

using nlohmann::json;

using wwn_bytes = std::array<std::uint8_t, 8>;

std::string wwn_text(const std::uint8_t* wwn);
// 16 hex digits, with or without a colon between each pair; nullopt for anything else.
std::optional<wwn_bytes> parse_wwn(std::string_view text);
std::string fc_address_text(std::uint32_t address);
// Up to 6 hex digits, with or without 0x; nullopt for anything else.
std::optional<std::uint32_t> parse_fc_address(std::string_view text);
std::string ipv4_text(std::uint32_t address_high_first);

// {"code": N, "message": "..."} of a status code, and "busy": true for a busy switch's 107.
json status(int32_t code);

// Words of coded values.
std::string port_type_word(std::int64_t code);
std::string port_state_word(std::int64_t code);
std::string zone_type_word(std::uint32_t type);  // "hard", "name_server", "broadcast", "sl"
std::string ns_zoning_word(std::uint32_t type);  // "port", "wwn"

// The records a snapshot holds by the thousand are written as text (json_text.h); their
// values here are that text, parsed.
//
// A name-server object: {"chassis", "cos", "fc4_types", "fc_address", "ip", "node_name",
// "node_wwn", "port", "port_name", "port_wwn", "type"}.
void put_device(std::string& out, const tv_nameserver_entry& e);
// What is attached to a port: {"logged_in"} and, once the port is up with something logged in,
// the linked "switch" of a T_Port ({"fc_address", "ip", "wwn"}), the "device" of an F_Port
// ({"fc_address", "node_wwn", "port_wwn"}) or the "loop" of any other type ({"address",
// "devices": [{"alpa", "node_wwn", "port_wwn"}]}). A WWN that was not found is null.
void put_attached(std::string& out, const tv_port_status& s);
// The 38 counters of a port by name ("in_frames", "crc_errs", ...).
void put_counters(std::string& out, const tv_port_counters& c);

json of(const tv_nameserver_entry& e);
json of(const tv_port_counters& c);
// {"port", "type", "admin", "operational", "attached"}.
json of(const tv_port_status& s);
// The test's failures and, for the port (from 0) or every port (TV_ALL_PORTS) the record
// holds, as the text report lists them: {"test_fail_count", "ports": [{"port", "state",
// "passes", "failures"}]}.
json of(const tv_test_status_info& s, int32_t port);
// The MFS modes of the port (from 0) or of every port of the switch (TV_ALL_PORTS, up to
// Max_Ports) as the text report lists them: [{"port", "mfs_mode", "description"}].
json mfs_modes_of(const tv_port_mfs_modes& m, int32_t port);
// The ALPAs still free after the port-status reports so far (alpa_records.cpp): one entry
// {"alpas"} on a switch without SL zones, else one {"zone", "ports", "alpas"} per SL zone.
json available_alpas();

json of(const tv_version_info& v);
json of(const tv_chassis_status& s);
json of(const tv_sysconfig& c);
json of(const tv_switch_link& l);
json of(const tv_port_zone& z);  // {"id", "enabled", "ports"}; the type is its set's key
json of(const tv_trap_config& c);
json of(const tv_switch_tovs& t);
json of(const tv_trapping_status& t);
json initiators_of(const tv_initiators& table);
// Every route of the table: {"chassis": c, "port": p}.
json routes_of(const tv_port_steering& st);
// One entry of the WWN zone table: {"wwn", "zones": [...]}.
json wwn_zone_entry(const std::uint8_t* wwn, const std::uint32_t (&bits)[8]);
json trap_configs_of(const tv_trap_config_list& list);

}  // namespace telvar::json
