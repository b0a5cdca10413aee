// A fabric's reading as items, the changes between two readings, and the fabric rebuilt as it
// stood at a time: the bridge between snapshot documents (docs/json.md) and the history.
//
// Kinds of items and rows (docs/history.md): switch, identity, chassis, system, port, link,
// route, zone, wwn_zone, ns_zoning, traps, trap_code, device; and, kept only for rebuilding,
// attached and initiators. The watcher's own rows: fabric (the first reading) and, kind switch,
// a switch that stopped or started answering.
#pragma once

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "history/rows.h"
#include "history/store.h"

namespace telvar::history {

using json = nlohmann::json;

// What changed between the items of the last reading and a snapshot document just taken,
// under the rules for switches that do not answer: a switch whose record carries a failure,
// or that the walk did not reach while another failed, keeps its items and gets one row when
// it stops answering and one when it answers again; the name server's devices are kept when
// it could not be read, and those of a switch that does not answer when they are missing.
reading changes_since(const std::vector<item>& last, const json& snapshot, const std::string& fabric,
                      time_ms at);

// The fabric as it stood at `at`: the items now, with every change after `at` undone, as a
// snapshot document (without counters, uptime and temperatures). Throws store_error when the
// fabric was not read at or before `at`, or its readings then are no longer kept.
json rebuild(store& s, const std::string& fabric, time_ms at);

}  // namespace telvar::history
