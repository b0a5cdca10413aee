// Every protocol operation of the library that talks to a switch, each wrapped so that it can
// run against any switch with records of its own, which it releases: the hostile-switch test,
// the allocation-failure test and the operations fuzzer run the same list.
#pragma once

#include <cstdint>
#include <set>
#include <span>

#include "telvar/tv_api.h"

namespace tvtest {

struct operation {
    const char* name;
    // Runs the operation and returns its status code (for operations that return something
    // else, what tv_api_errno holds afterwards).
    int32_t (*run)(tv_context* ctx);
};

std::span<const operation> every_operation();

// The status codes an operation may end with, whatever a switch sends or memory allows.
const std::set<int32_t>& defined_statuses();

}  // namespace tvtest
