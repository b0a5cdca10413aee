// The 38 counters of a port, once: the word of the record each is in, its name (the JSON key,
// and the exporter's metric telvar_port_<name>_total), the metric's help and the label of the
// text report. The JSON writer, the exporter and the counter report all read this table.
#pragma once

#include <array>

#include "telvar/tv_api.h"

namespace telvar {

struct port_counter {
    int word;           // of tv_port_counters::counter
    const char* name;   // JSON key and metric name
    const char* help;   // of the metric
    const char* label;  // of the report, with the tabs that line its value up
};

// In the order of the record's words, from word 1 (word 0 holds no counter).
inline constexpr std::array<port_counter, TV_PORT_COUNTER_WORDS - 1> port_counters{{
    {TV_CNT_IN_FRAMES, "in_frames", "Frames received.", "Inframes:\t"},
    {TV_CNT_OUT_FRAMES, "out_frames", "Frames sent.", "Outframes:\t"},
    {TV_CNT_DISCARDS, "discards", "Frames discarded.", "Discards:\t"},
    {TV_CNT_FBSY_FRAMES, "fbsy_frames", "Fabric-busy frames.", "Fbsyframes:\t"},
    {TV_CNT_C2_RJT_FRAMES, "c2_rjt_frames", "Class 2 reject frames.", "C2Rjtframes:\t"},
    {TV_CNT_LINK_FAILS, "link_fails", "Link failures.", "LinkFails:\t"},
    {TV_CNT_SYNC_LOSSES, "sync_losses", "Losses of synchronisation.", "SyncLosses:\t"},
    {TV_CNT_PRIM_SEQ_ERRS, "prim_seq_errs", "Primitive sequence protocol errors.", "Prim Seq Errs:\t"},
    {TV_CNT_INVALID_TX_WORDS, "invalid_tx_words", "Invalid transmission words.", "InvalidTxWds:\t"},
    {TV_CNT_CRC_ERRS, "crc_errs", "CRC errors.", "CRC Errs:\t"},
    {TV_CNT_DELIMITER_ERRS, "delimiter_errs", "Delimiter errors.", "DelimiterErrs:\t"},
    {TV_CNT_ADDRESS_ID_ERRS, "address_id_errs", "Address identifier errors.", "AddressIdErrs:\t"},
    {TV_CNT_LINK_RESET_IN, "link_reset_in", "Link resets received.", "Link Reset In:\t"},
    {TV_CNT_LINK_RESET_OUT, "link_reset_out", "Link resets sent.", "Link Reset Out:\t"},
    {TV_CNT_OLS_IN, "ols_in", "Offline sequences received.", "OLS In:\t\t"},
    {TV_CNT_OLS_OUT, "ols_out", "Offline sequences sent.", "OLS Out:\t"},
    {TV_CNT_TOTAL_LIP, "total_lip", "Loop initialisation primitives received, all kinds.", "Total LIP Rcvd:\t"},
    {TV_CNT_LIP_F7_F7, "lip_f7_f7", "LIP(F7,F7) received.", "LIP F7 F7:\t"},
    {TV_CNT_LIP_F8_F7, "lip_f8_f7", "LIP(F8,F7) received.", "LIP F8 F7:\t"},
    {TV_CNT_LIP_F7_AL_PS, "lip_f7_al_ps", "LIP(F7,AL_PS) received.", "LIP F7 AL_PS:\t"},
    {TV_CNT_LIP_F8_AL_PS, "lip_f8_al_ps", "LIP(F8,AL_PS) received.", "LIP F8 AL_PS:\t"},
    {TV_CNT_LIP_AL_PD_AL_PS, "lip_al_pd_al_ps", "LIP(AL_PD,AL_PS) received.", "LIP AL_PD,AL_PS:\t"},
    {TV_CNT_AL_INIT_ERRS, "al_init_errs", "Loop initialisation errors.", "AL Init Errs:\t"},
    {TV_CNT_AL_INITS, "al_inits", "Loop initialisations.", "AL Inits:\t"},
    {TV_CNT_FLOW_CONTROL_ERRS, "flow_control_errs", "Flow control errors.", "LIF_flow_cntrl_err_cnt:\t"},
    {TV_CNT_SHORT_FRAMES, "short_frames", "Frames too short.", "short_frame_err_cnt:\t"},
    {TV_CNT_LONG_FRAMES, "long_frames", "Frames too long.", "long_frame_err_cnt:\t"},
    {TV_CNT_SMOOTHING_OVERFLOWS, "smoothing_overflows", "Smoothing overflows.", "smth_ovrflw_err_cnt:\t"},
    {TV_CNT_LOSS_OF_SIGNAL, "loss_of_signal", "Losses of signal.", "loss_of_signal_cnt:\t"},
    {TV_CNT_LASER_FAULTS, "laser_faults", "Laser faults.", "laser_fault_cnt:\t"},
    {TV_CNT_SYNC_LOSS, "sync_loss", "Synchronisation losses (the second count).", "sync_loss:\t\t"},
    {TV_CNT_LISM_FAILED, "lism_failed", "Loop initialisation select master failures.", "lism_failed:\t\t"},
    {TV_CNT_LOOP_INIT_FAILED, "loop_init_failed", "Failed loop initialisations.", "loop_init_failed:\t"},
    {TV_CNT_RETRY_LIP, "retry_lip", "Retried LIPs.", "retry_lip:\t\t"},
    {TV_CNT_LOF_TIMEOUT_ELS, "lof_timeout_els", "Loss-of-frame timeouts on extended link services.",
     "lof_timeout_els:\t"},
    {TV_CNT_LOF_TIMEOUT, "lof_timeout", "Loss-of-frame timeouts.", "lof_timeout:\t\t"},
    {TV_CNT_LIP_DURING_INIT, "lip_during_init", "LIPs during loop initialisation.", "lip_during_init:\t"},
    {TV_CNT_OPN_RETURNED, "opn_returned", "OPNs returned.", "opn_returned:\t\t"},
}};

// The entry of a word (1 to 38).
constexpr const port_counter& port_counter_of(int word) { return port_counters[static_cast<std::size_t>(word - 1)]; }

static_assert([] {
    for (std::size_t i = 0; i < port_counters.size(); ++i)
        if (port_counters[i].word != static_cast<int>(i + 1)) return false;
    return true;
}(), "port_counters is in the order of the record's words");

}  // namespace telvar
