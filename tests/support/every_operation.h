// Every protocol operation of the library that talks to a switch, each wrapped so that it can
// run against any switch with records of its own, which it releases: the hostile-switch test,
// the allocation-failure test and the operations fuzzer run the same list, and
// every_operation_test.py fails when an exported operation is called nowhere in it.
//
// The list is run in order. An operation that sends back what an earlier read left in a
// library buffer comes after that read, in its own entry or in the same one; the switch reset
// comes last, and the fabrics that run the list have a reset time of 0 so that a second pass
// finds the switch answering.
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
