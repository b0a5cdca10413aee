// What the data commands find in a snapshot document, as JSON, for any program that holds one
// (the tool's locate, zone_lint and diff print these; the watcher's console serves them).
#pragma once

#include <cstddef>
#include <functional>
#include <limits>
#include <optional>
#include <string>

#include "telvar/data/json_records.h"

namespace telvar::data {

using json = ::telvar::json::json;

// Where a name-server object of `doc` is: {"device", "switch", "port", "port_type", "zones"}.
json locate_device(const json& doc, const json& device);
// locate_device of each name-server object `wanted` takes, in the name server's order, at most
// `most` of them.
json locate_matching(const json& doc, const std::function<bool(const json& device)>& wanted,
                     std::size_t most = std::numeric_limits<std::size_t>::max());

// zone_lint's findings: [{"kind", "chassis", "text"}].
json zone_findings(const json& doc);

// diff's changes from snapshot `a` to `b`: [{"kind", "subject", "text", "before", "after"}];
// `all` compares what moves on its own too. Throws json::exception on a value of the wrong kind.
json snapshot_changes(const json& a, const json& b, bool all);

// zone_apply on the switch `ctx` addresses, with the zoning document `file`: reads its zoning,
// plans, and (unless `dry_run`) carries out the plan and saves when `save`. The document
// zone_apply --json prints; nullopt with `why` when the zoning could not be read or the file
// is wrong (nothing was sent then).
std::optional<json> apply_zoning(tv_context* ctx, const json& file, bool dry_run, bool save, std::string& why);

}  // namespace telvar::data
