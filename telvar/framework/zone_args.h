// Zone-type arguments of the zoning commands, read one way by the library's commands and by
// the tool's own get_zone and set_zone.
#pragma once

#include <cstdint>

namespace telvar {

struct zone_type_arg {
    enum class kind { type, bad_number, unknown_word };
    kind what;
    int32_t value;  // the type code (1 to 4), or the number that is none
};

// "hd", "ns", "bcst" or "sl", or a text beginning with a digit whose value must be 1 to 4.
zone_type_arg parse_zone_type(const char* text);

// Whether a text begins with a decimal digit, as the commands' number arguments must.
bool starts_with_digit(const char* text);

}  // namespace telvar
