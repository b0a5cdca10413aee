// What locate, zone_lint and diff read of a snapshot document from a file, checked before they
// read it: a document edited by hand or by another program may give any member any type, and they
// must refuse it naming the member rather than end on it or take a default for it.
#pragma once

#include <string>

#include <nlohmann/json.hpp>

namespace telvar::data {

// The first member those readers use whose type is not the one a snapshot gives it, said as
// "switches[2].zoning.hard[0].ports[1] is not an integer"; empty when there is none. Members
// that are missing are not a problem: the readers take them as absent.
std::string snapshot_shape_problem(const nlohmann::json& doc);

}  // namespace telvar::data
