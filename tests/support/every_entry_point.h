// Every diagnostic entry point that talks to a switch, each wrapped so that it can run against
// any switch with records of its own, which it releases: the hostile-switch test and the
// allocation-failure test run the same list.
#pragma once

#include <cstdint>
#include <set>
#include <span>

namespace tvtest {

struct entry_point {
    const char* name;
    int32_t (*run)(const char* ip);  // returns what the entry point returned
};

std::span<const entry_point> every_entry_point();

// What an entry point may return: a status code of the library or one of its own results.
const std::set<int32_t>& entry_point_results();

}  // namespace tvtest
