// Looking a code up in one of the exported name tables without indexing past it.
#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace telvar {

// The table's name for `code`, or "Unrecognized (<code>)" for a code the table has no entry
// for (negative codes included), so that a report still shows what the switch sent.
std::string name_of(std::span<const char* const> table, int64_t code);

}  // namespace telvar
