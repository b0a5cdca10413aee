// Commands of the telvar tool that its dispatcher carries out itself by combining the
// library's protocol operations and displays. They share the command functions' conventions:
// argv[0] is the command word, the result is the status code of a failed open or 0.
#pragma once

#include <cstdint>
#include <functional>

#include "telvar/tv_api.h"

namespace telvar::tool {

int32_t discover(int32_t argc, char** argv);
// The addresses that answered the probes of a discover command line (its options, then the base
// address and count, or the base address of -m), for tv_free_discovery; null with tv_api_errno
// set when the probes could not be made ("Invalid mask" printed for a bad -m). A bad command
// line prints why and the usage text, and ends the process.
char** discover_addresses(int32_t argc, char** argv);
// The frame of smlget and smlset: the options, the request text (the words after the address,
// joined by one blank; refused with TV_ERR_PARAM, after saying so, when longer than a request
// holds), the context; `op` sends the text. Returns what the command returns.
int32_t with_sml_request(int32_t argc, char** argv, const std::function<void(tv_context*, const char*)>& op);
int32_t version(int32_t argc, char** argv);
int32_t chassis_status(int32_t argc, char** argv);
int32_t initiators(int32_t argc, char** argv);
int32_t links(int32_t argc, char** argv);
int32_t nameserver(int32_t argc, char** argv);
int32_t port_state(int32_t argc, char** argv);
int32_t port_type(int32_t argc, char** argv);
int32_t port_status(int32_t argc, char** argv);
int32_t port_counts(int32_t argc, char** argv);
int32_t reset_log(int32_t argc, char** argv);
int32_t start_test(int32_t argc, char** argv);
int32_t stop_test(int32_t argc, char** argv);
int32_t test_status(int32_t argc, char** argv);
int32_t get_zone(int32_t argc, char** argv);
int32_t set_zone(int32_t argc, char** argv);
// The library's switch_reset, asked about first on a terminal.
int32_t switch_reset(int32_t argc, char** argv);

// User accounts, acting as the user of -u and -p.
int32_t user_add(int32_t argc, char** argv);
int32_t user_delete(int32_t argc, char** argv);
int32_t passwd(int32_t argc, char** argv);

}  // namespace telvar::tool
