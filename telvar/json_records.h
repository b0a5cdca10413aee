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

#include "tv_api.h"

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
// The chassis number of an FC address (bits 14 to 19).
constexpr int chassis_of(std::uint32_t fc_address) { return static_cast<int>((fc_address >> 14) & 0x3F); }

json status(int32_t code);

// Words of coded values.
std::string port_type_word(std::int64_t code);
std::string port_state_word(std::int64_t code);
std::string zone_type_word(std::uint32_t type);  // "hard", "name_server", "broadcast", "sl"
std::string ns_zoning_word(std::uint32_t type);  // "port", "wwn"

json of(const tv_version_info& v);
json of(const tv_chassis_status& s);
json of(const tv_sysconfig& c);
json of(const tv_nameserver_entry& e);
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
