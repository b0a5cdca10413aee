// Reports of port diagnostics: a port's counters and the online test's status. Ports are given
// counted from 0 and printed counted from 1.
#include <array>

#include "telvar/framework/output.h"
#include "telvar/telvar.h"

namespace {

using telvar::print;

// A line of the counter report: the label, the value, and a blank before the newline on the
// first 24 lines.
struct counter_line {
    int word;
    const char* label;
    bool blank;
};

// The order of the report, which prints the synchronisation losses of word 31 last.
constexpr std::array<counter_line, 38> counter_lines{{
    {TV_CNT_IN_FRAMES, "Inframes:\t", true},
    {TV_CNT_OUT_FRAMES, "Outframes:\t", true},
    {TV_CNT_DISCARDS, "Discards:\t", true},
    {TV_CNT_FBSY_FRAMES, "Fbsyframes:\t", true},
    {TV_CNT_C2_RJT_FRAMES, "C2Rjtframes:\t", true},
    {TV_CNT_LINK_FAILS, "LinkFails:\t", true},
    {TV_CNT_SYNC_LOSSES, "SyncLosses:\t", true},
    {TV_CNT_PRIM_SEQ_ERRS, "Prim Seq Errs:\t", true},
    {TV_CNT_INVALID_TX_WORDS, "InvalidTxWds:\t", true},
    {TV_CNT_CRC_ERRS, "CRC Errs:\t", true},
    {TV_CNT_DELIMITER_ERRS, "DelimiterErrs:\t", true},
    {TV_CNT_ADDRESS_ID_ERRS, "AddressIdErrs:\t", true},
    {TV_CNT_LINK_RESET_IN, "Link Reset In:\t", true},
    {TV_CNT_LINK_RESET_OUT, "Link Reset Out:\t", true},
    {TV_CNT_OLS_IN, "OLS In:\t\t", true},
    {TV_CNT_OLS_OUT, "OLS Out:\t", true},
    {TV_CNT_TOTAL_LIP, "Total LIP Rcvd:\t", true},
    {TV_CNT_LIP_F7_F7, "LIP F7 F7:\t", true},
    {TV_CNT_LIP_F8_F7, "LIP F8 F7:\t", true},
    {TV_CNT_LIP_F7_AL_PS, "LIP F7 AL_PS:\t", true},
    {TV_CNT_LIP_F8_AL_PS, "LIP F8 AL_PS:\t", true},
    {TV_CNT_LIP_AL_PD_AL_PS, "LIP AL_PD,AL_PS:\t", true},
    {TV_CNT_AL_INIT_ERRS, "AL Init Errs:\t", true},
    {TV_CNT_AL_INITS, "AL Inits:\t", true},
    {TV_CNT_FLOW_CONTROL_ERRS, "LIF_flow_cntrl_err_cnt:\t", false},
    {TV_CNT_SHORT_FRAMES, "short_frame_err_cnt:\t", false},
    {TV_CNT_LONG_FRAMES, "long_frame_err_cnt:\t", false},
    {TV_CNT_SMOOTHING_OVERFLOWS, "smth_ovrflw_err_cnt:\t", false},
    {TV_CNT_LOSS_OF_SIGNAL, "loss_of_signal_cnt:\t", false},
    {TV_CNT_LASER_FAULTS, "laser_fault_cnt:\t", false},
    {TV_CNT_LISM_FAILED, "lism_failed:\t\t", false},
    {TV_CNT_LOOP_INIT_FAILED, "loop_init_failed:\t", false},
    {TV_CNT_RETRY_LIP, "retry_lip:\t\t", false},
    {TV_CNT_LOF_TIMEOUT_ELS, "lof_timeout_els:\t", false},
    {TV_CNT_LOF_TIMEOUT, "lof_timeout:\t\t", false},
    {TV_CNT_LIP_DURING_INIT, "lip_during_init:\t", false},
    {TV_CNT_OPN_RETURNED, "opn_returned:\t\t", false},
    {TV_CNT_SYNC_LOSS, "sync_loss:\t\t", false},
}};

}  // namespace

extern "C" {

int32_t show_port_counters(int32_t port, const tv_port_counters* counters) {
    if (counters == nullptr) return 0;
    print("Port:\t\t%u\n", static_cast<unsigned>(port + 1));
    for (const counter_line& l : counter_lines)
        print("%s%u%s", l.label, counters->counter[l.word], l.blank ? " \n" : "\n");
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
