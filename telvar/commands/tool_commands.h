// Commands of the telvar tool that its dispatcher carries out itself by combining the
// library's protocol operations and displays. They share the command functions' conventions
// (argv[0] is the command word) and return their outcome, as the library's command cores do.
#pragma once

#include <cstdint>
#include <functional>

#include "telvar/framework/outcome.h"
#include "telvar/tv_api.h"

namespace telvar::tool {

outcome discover(int32_t argc, char** argv);
// The addresses that answered the probes of a discover command line (its options, then the base
// address and count, or the base address of -m), for tv_free_discovery; null with tv_api_errno
// set when the probes could not be made ("Invalid mask" printed for a bad -m). A bad command
// line prints why and the usage text, and ends the process.
char** discover_addresses(int32_t argc, char** argv);
// The frame of smlget and smlset: the options, the request text (the words after the address,
// joined by one blank; refused with TV_ERR_PARAM, after saying so, when longer than a request
// holds), the context; `op` sends the text and says what came of it.
outcome with_sml_request(int32_t argc, char** argv, const std::function<outcome(tv_context*, const char*)>& op);
outcome version(int32_t argc, char** argv);
outcome chassis_status(int32_t argc, char** argv);
outcome initiators(int32_t argc, char** argv);
outcome links(int32_t argc, char** argv);
outcome nameserver(int32_t argc, char** argv);
outcome port_state(int32_t argc, char** argv);
outcome port_type(int32_t argc, char** argv);
outcome port_status(int32_t argc, char** argv);
outcome port_counts(int32_t argc, char** argv);
outcome reset_log(int32_t argc, char** argv);
outcome start_test(int32_t argc, char** argv);
outcome stop_test(int32_t argc, char** argv);
outcome test_status(int32_t argc, char** argv);
outcome get_zone(int32_t argc, char** argv);
outcome set_zone(int32_t argc, char** argv);
// switch_reset, asked about first on a terminal.
outcome switch_reset(int32_t argc, char** argv);

// User accounts, acting as the user of -u and -p.
outcome user_add(int32_t argc, char** argv);
outcome user_delete(int32_t argc, char** argv);
outcome passwd(int32_t argc, char** argv);

}  // namespace telvar::tool
