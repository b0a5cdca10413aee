// The cores of the library's command functions (chassis_mode, ..., message): each does the
// command and returns its outcome, which the tool turns into its exit status. The exported
// command functions of the same names are thin wrappers that return the value their callers
// know (outcome::returned).
#pragma once

#include <cstdint>

#include "telvar/framework/outcome.h"

namespace telvar::cores {

// Switch configuration.
outcome chassis_mode(int32_t argc, char** argv);
outcome chassis_tovs(int32_t argc, char** argv);
outcome defaults(int32_t argc, char** argv);
// Ports.
outcome port_mfs_mode(int32_t argc, char** argv);
outcome port_steering(int32_t argc, char** argv);
// Zoning.
outcome disable_zone_type(int32_t argc, char** argv);
outcome ns_zone_type(int32_t argc, char** argv);
outcome wwn_zone(int32_t argc, char** argv);
outcome get_wwn_zone(int32_t argc, char** argv);
outcome set_wwn_zone(int32_t argc, char** argv);
outcome rem_wwn_zone(int32_t argc, char** argv);
// Traps.
outcome get_trap_config(int32_t argc, char** argv);
outcome set_trap_config(int32_t argc, char** argv);
outcome set_trapping(int32_t argc, char** argv);
outcome trap_listen(int32_t argc, char** argv);
outcome trap_test(int32_t argc, char** argv);
// Maintenance.
outcome switch_reset(int32_t argc, char** argv);
outcome smlget(int32_t argc, char** argv);
outcome smlset(int32_t argc, char** argv);
outcome message(int32_t argc, char** argv);

}  // namespace telvar::cores
