// The display names of port types, port states and MFS modes, indexed by code. They are
// exported tables so that hosts print the same words as the tool; the padding of some names
// ("F_Port ", "  on") lines reports up in columns.
#include "telvar/framework/name_tables.h"

#include "telvar/telvar.h"

extern "C" {

const char* const Port_Types[6] = {
    "Not Valid: 0", "F_Port ", "FL_Port", "T_Port ", "SL_Port", "TL_Port",
};

const char* const Port_State[6] = {
    "  sl", "  on", " off", "test", "fail", "invalid",
};

const char* const MFS_Modes[7] = {
    "MFS disabled",
    "Complete non-interleaved sequences",
    "Non-complete sequences, Frame Bus participation req.",
    "Non-complete sequences, Frame Bus participation not req.",
    "Max of 8 Frames Transmitted per Loop Tenancy",
    "Max of 32 Frames Transmitted per Loop Tenancy",
    "Max of 128 Frames Transmitted per Loop Tenancy",
};

}  // extern "C"

namespace telvar {

std::string name_of(std::span<const char* const> table, int64_t code) {
    if (code >= 0 && static_cast<uint64_t>(code) < table.size()) return table[code];
    return "Unrecognized (" + std::to_string(code) + ")";
}

}  // namespace telvar
