// Reports of port diagnostics: a port's counters and the online test's status. Ports are given
// counted from 0 and printed counted from 1.
#include "telvar/framework/output.h"
#include "telvar/framework/port_counter_table.h"
#include "telvar/telvar.h"

namespace {

using telvar::print;

// A line of the counter report: the label, the value, and a blank before the newline on the
// lines of words 1 to 24.
void print_counter(const telvar::port_counter& c, const tv_port_counters& counters) {
    print("%s%u%s", c.label, counters.counter[c.word], c.word <= TV_CNT_AL_INITS ? " \n" : "\n");
}

}  // namespace

extern "C" {

int32_t show_port_counters(int32_t port, const tv_port_counters* counters) {
    if (counters == nullptr) return 0;
    print("Port:\t\t%u\n", static_cast<unsigned>(port + 1));
    // In the order of the words, but for the synchronisation losses of word 31, printed last.
    for (const telvar::port_counter& c : telvar::port_counters)
        if (c.word != TV_CNT_SYNC_LOSS) print_counter(c, *counters);
    print_counter(telvar::port_counter_of(TV_CNT_SYNC_LOSS), *counters);
    return 0;
}

int32_t show_test_status(const tv_test_status_info* status, int32_t port) {
    if (status == nullptr) return 0;
    // The entries of one port, or of every port the record holds; a port beyond the record's
    // room lists none.
    uint32_t first = 0, end = 0;
    if (port == TV_ALL_PORTS) {
        end = status->port_count < TV_TEST_PORTS ? status->port_count : TV_TEST_PORTS;
    } else if (port >= 0 && port < TV_TEST_PORTS) {
        first = static_cast<uint32_t>(port);
        end = first + 1;
    }
    print("--------------\n");
    print("test_fail_cnt:  \t%d\n", status->test_fail_cnt);
    print("port_test_status:\t");
    for (uint32_t i = first; i < end; ++i) print("%d ", status->port_test_status[i]);
    print("\nport_test_count:\t");
    for (uint32_t i = first; i < end; ++i) print("%u ", status->port_test_count[i]);
    print("\nport_fail_count:\t");
    for (uint32_t i = first; i < end; ++i) print("%u ", status->port_fail_count[i]);
    print("\n");
    return 0;
}

}  // extern "C"
