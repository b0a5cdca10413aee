// The whole fabric as one JSON document: a walk over the links from one switch that reads, for
// every switch it reaches, its identity, chassis status, system information, ports, routes,
// links, zoning and trap configuration, and once the fabric's name server.
//
// The document (docs/json.md, "snapshot"):
//
//   {"format": "telvar-snapshot", "version": 1, "source": "10.0.0.1", "taken_at": "...",
//    "name_server": {"devices": [...], "status": {...}},
//    "switches": [{"fc_address", "chassis", "status", "identity", "chassis_status", "system",
//                  "ports", "initiators", "routes", "links", "zoning", "traps"}, ...]}
//
// A switch that fails to answer keeps what was read of it and its status, and the walk goes
// on with the switches its links (if they were read) lead to. The document is written as the
// walk goes, so that a fabric of many thousands of devices is never held whole; the records
// that come by the thousand are written as text (json_text.h), and the commands that read
// the document in memory parse that same text.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <string_view>

#include "telvar/data/json_records.h"
#include "telvar/tv_api.h"

namespace telvar::snapshot {

using json = ::telvar::json::json;

// What a walk reads besides each switch's identity and links.
namespace section {
inline constexpr unsigned chassis = 1, ports = 2, routes = 4, zoning = 8, traps = 16, name_server = 32;
// Of each port (with `ports`): what is attached to it, and its counters.
inline constexpr unsigned port_status = 64, counters = 128;
// The switch's initiator table (which devices are initiators).
inline constexpr unsigned initiators = 256;
inline constexpr unsigned all = 511;
}  // namespace section

// Walks the fabric from the switch the context addresses (the default destination: the switch
// at the address itself) and hands the document to `sink` piece by piece; `progress` (may be
// empty) learns of each switch done and of the switches known so far. Returns the number of
// switches whose record carries a failure.
int walk(tv_context* ctx, const std::string& source, unsigned sections,
         const std::function<void(std::string_view text)>& sink,
         const std::function<void(int done, int known)>& progress = {});

// The document of a walk, in memory (for the commands that read it rather than store it).
json take(tv_context* ctx, const std::string& source, unsigned sections);

// Streams the document of every section to `out`; progress on standard error when it is a
// terminal. Returns what walk returns, or -1 when writing failed.
int write(tv_context* ctx, const std::string& source, std::FILE* out);

// Writes a document held in memory (a fabric rebuilt from the history) as `write` lays out a
// walk's: the head, then each device and each switch on a line of its own. Returns 0, or -1 when
// writing failed.
int write_document(const json& doc, std::FILE* out);

// The zoning of the switch the context addresses, in the document's form: {"ns_zoning",
// "hard", "name_server", "broadcast", "sl", "wwn"}. Returns the status of the first failure.
int32_t read_zoning(tv_context* ctx, json& zoning);

// The port table of the switch the context addresses, as the document's ports without what is
// attached (type, states, MFS mode, loop, counters). The status of the first failure; `ports`
// holds what was read (left as it was when the port tables could not be read).
int32_t read_port_table(tv_context* ctx, json& ports);

// The WWN zone table of the switch the context addresses, every entry ({"wwn", "zones"}).
int32_t read_wwn_zones(tv_context* ctx, json& entries);

// The record of the switch a document describes whose WWN or FC address is given (both
// empty: the first), or null.
const json* find_switch(const json& doc, const std::string& wwn,
                                     const std::string& fc_address = {});

}  // namespace telvar::snapshot
