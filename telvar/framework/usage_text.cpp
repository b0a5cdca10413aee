// The usage text of the tool and usage(), the one way a command-line error ends the process.
// The text is a table of lines so that hosts can print it, or parts of it, themselves.
#include "telvar/framework/end_process.h"
#include "telvar/framework/output.h"
#include "telvar/telvar.h"

extern "C" {

const char* const Usage[TELVAR_USAGE_LINES] = {
    "telvar\n",
    "Usage:\n",
    "    telvar discover <base-ip-address> <range>\n",
    "\tor telvar discover -m <ip-mask> <base-ip-address>\n",
    "    telvar version <ip-address>\n",
    "    telvar chassis_status <ip-address>\n",
    "    telvar chassis_mode [-s on|off|test] <ip-address>\n",
    "\twhere -s means set to on, off, or test\n",
    "    telvar chassis_tovs [-s] [-m <mfs-timeout>]\n",
    "\t[-e <edtov>] [-a <ratov>] [-t <rttov>] <ip-address>\n",
    "    telvar initiators <ip-address>\n",
    "    telvar defaults <ip-address> <filename>\n",
    "    telvar links <ip-address>\n",
    "    telvar nameserver <ip-address>\n",
    "\n",
    "    telvar port_status [-a] <ip-address> <port>\n",
    "\twhere -a means available alpa's\n",
    "    telvar port_counts <ip-address> <port>\n",
    "    telvar port_state [-s [on|off] <ip-address> <port>\n",
    "    telvar port_type [-s [f|fl|t|sl|tl] <ip-address> <port>\n",
    "    telvar port_mfs_mode [-s] [-M <mfs-mode>] <ip-address> <port>\n",
    "    telvar port_steering <ip-address> <port>\n",
    "\n",
    "    telvar reset_log <ip-address>\n",
    "    telvar start_test [-x <xfer-size>] [-n <number-of-passes>] [-r]\n",
    "\t[-t <test-pattern>] [-w <wait-msec>] <ip-address> <port>\n",
    "    telvar stop_test <ip-address> <port>\n",
    "    telvar test_status <ip-address> <port>\n",
    "\n",
    "    telvar get_zone [-s] <ip-address> <zone-type> <zone-id>\n",
    "\twhere -s means save, zone-type is [hd|ns|bcst|sl]\n",
    "    telvar set_zone [-s] [-e] <ip-address> <zone-type> <zone-id> <port-list...>\n",
    "\twhere -s means save, -e means enable, zone-type is [hd|ns|bcst|sl]\n",
    "    telvar disable_zone_type [-s] <ip-address> <zone-type>\n",
    "\twhere -s means save, zone-type is [hd|ns|bcst|sl]\n",
    "\n",
    "    telvar ns_zone_type [-s port|wwn] <ip-address>\n",
    "\twhere -s means set to either port or wwn mode\n",
    "    telvar wwn_zone [-s] [-r 0|1|2] <ip-address>\n",
    "\twhere -s means save, -r 0 means reset to flash\n",
    "\t                     -r 1 means reset to default\n",
    "\t                     -r 2 means reset active & saved\n",
    "    telvar get_wwn_zone <ip-address>\n",
    "    telvar set_wwn_zone [-i] <ip-address> <zone-id> <WWN> <name>\n",
    "\twhere -i means inclusive or the zones with what is already set\n",
    "    telvar rem_wwn_zone <ip-address> <zone-id> <WWN> <name>\n",
    "\n",
    "    telvar switch_reset <ip-address>\n",
    "    telvar message <ip-address> input_file_name\n",
    "    telvar get_trap_config <ip_address>\n",
    "    telvar set_trap_config <ip-address> <trapcode> <enabled>\n",
    "                           <rising_threshold> <falling threshold>\n",
    "    telvar set_trapping [-i <interval>] [-t enabled|disabled] <ip-address>\n",
    "    telvar trap_listen <ip-address>\n",
    "\nglobal flags:\tglobal flags must precede the ip-address.\n",
    "\t-port <portno>\tlocal udp port. default=5001\n",
    "\t-f <fcaddr>\tthe address of the target switch for this cmd.\n",
    "\tex: telvar version -port 0 -f 040100 10.0.0.1\n",
};

void usage(void) {
    telvar::print_usage();
    telvar::end_process(1);
}

}  // extern "C"

namespace telvar {

void print_usage() {
    print("telvar  version %s\n", tv_api_version());
    for (int i = 1; i < TELVAR_USAGE_LINES; ++i) print("%s", Usage[i]);
}

}  // namespace telvar
