// Commands of the telvar tool that its dispatcher carries out itself by combining the
// library's protocol operations and displays. They share the command functions' conventions:
// argv[0] is the command word, the result is the status code of a failed open or 0.
#pragma once

#include <cstdint>

namespace telvar::tool {

int32_t discover(int32_t argc, char** argv);
int32_t version(int32_t argc, char** argv);
int32_t chassis_status(int32_t argc, char** argv);
int32_t initiators(int32_t argc, char** argv);
int32_t links(int32_t argc, char** argv);
int32_t nameserver(int32_t argc, char** argv);
int32_t port_state(int32_t argc, char** argv);
int32_t port_type(int32_t argc, char** argv);
int32_t get_zone(int32_t argc, char** argv);
int32_t set_zone(int32_t argc, char** argv);
// The library's switch_reset, asked about first on a terminal.
int32_t switch_reset(int32_t argc, char** argv);

// User accounts, acting as the user of -u and -p.
int32_t user_add(int32_t argc, char** argv);
int32_t user_delete(int32_t argc, char** argv);
int32_t passwd(int32_t argc, char** argv);

}  // namespace telvar::tool
