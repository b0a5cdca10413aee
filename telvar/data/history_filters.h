// The filters of the history's rows as people type them (`telvar history --switch --kind`,
// and the console's query strings alike).
#pragma once

#include <string>
#include <string_view>

#include "history/rows.h"

namespace telvar::data {

// A switch: a chassis number (0 to 63), an FC address (with or without 0x) or a WWN (with or
// without colons), set in `q`; false with the reason (without the option's name) otherwise.
bool read_switch_filter(std::string_view text, history::query& q, std::string& why);

// Kinds of rows, one or several separated by commas, added to `q.kinds` once each; false with
// the reason (naming the kinds there are) otherwise.
bool read_kind_filter(std::string_view text, history::query& q, std::string& why);

}  // namespace telvar::data
