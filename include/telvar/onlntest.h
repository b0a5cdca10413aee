/* Records of port diagnostics: the error and traffic counters of a port and the status of the
 * switch's online port test. Both are supplied by the caller and written only when their
 * exchange succeeded. */
#ifndef TV_ONLNTEST_H
#define TV_ONLNTEST_H

#include <stdint.h>

/* Words of tv_port_counters: word 0 is never written; words 1 to 38 are the counters, each the
 * switch's own unsigned 32-bit count (they wrap as the switch's do). */
#define TV_PORT_COUNTER_WORDS 39
enum tv_port_counter {
    TV_CNT_IN_FRAMES = 1,           /* frames received */
    TV_CNT_OUT_FRAMES = 2,          /* frames sent */
    TV_CNT_DISCARDS = 3,            /* frames discarded */
    TV_CNT_FBSY_FRAMES = 4,         /* fabric-busy frames */
    TV_CNT_C2_RJT_FRAMES = 5,       /* class 2 reject frames */
    TV_CNT_LINK_FAILS = 6,
    TV_CNT_SYNC_LOSSES = 7,
    TV_CNT_PRIM_SEQ_ERRS = 8,       /* primitive sequence protocol errors */
    TV_CNT_INVALID_TX_WORDS = 9,
    TV_CNT_CRC_ERRS = 10,
    TV_CNT_DELIMITER_ERRS = 11,
    TV_CNT_ADDRESS_ID_ERRS = 12,
    TV_CNT_LINK_RESET_IN = 13,
    TV_CNT_LINK_RESET_OUT = 14,
    TV_CNT_OLS_IN = 15,             /* offline sequences received */
    TV_CNT_OLS_OUT = 16,
    TV_CNT_TOTAL_LIP = 17,          /* loop initialisation primitives received, all kinds */
    TV_CNT_LIP_F7_F7 = 18,
    TV_CNT_LIP_F8_F7 = 19,
    TV_CNT_LIP_F7_AL_PS = 20,
    TV_CNT_LIP_F8_AL_PS = 21,
    TV_CNT_LIP_AL_PD_AL_PS = 22,
    TV_CNT_AL_INIT_ERRS = 23,
    TV_CNT_AL_INITS = 24,
    TV_CNT_FLOW_CONTROL_ERRS = 25,
    TV_CNT_SHORT_FRAMES = 26,
    TV_CNT_LONG_FRAMES = 27,
    TV_CNT_SMOOTHING_OVERFLOWS = 28,
    TV_CNT_LOSS_OF_SIGNAL = 29,
    TV_CNT_LASER_FAULTS = 30,
    TV_CNT_SYNC_LOSS = 31,
    TV_CNT_LISM_FAILED = 32,        /* loop initialisation select master failures */
    TV_CNT_LOOP_INIT_FAILED = 33,
    TV_CNT_RETRY_LIP = 34,
    TV_CNT_LOF_TIMEOUT_ELS = 35,    /* loss-of-frame timeouts on extended link services */
    TV_CNT_LOF_TIMEOUT = 36,
    TV_CNT_LIP_DURING_INIT = 37,
    TV_CNT_OPN_RETURNED = 38
};

typedef struct tv_port_counters {
    uint32_t counter[TV_PORT_COUNTER_WORDS]; /* indexed by tv_port_counter */
} tv_port_counters;

/* Most ports a test-status answer reports: the room of the record (and of the display). */
#define TV_TEST_PORTS 16

/* The online test: how it stands as a whole, and per port the passes run and failed since the
 * test log was last reset. Only entries 0 to port_count - 1 are written. */
typedef struct tv_test_status_info {
    uint8_t status_b0;                          /* passed through uninterpreted */
    uint8_t port_count;                         /* entries that follow, at most TV_TEST_PORTS */
    uint8_t status_b2;                          /* passed through uninterpreted */
    uint8_t reserved;                           /* always 0 */
    int32_t test_fail_cnt;                      /* failures of the test as a whole */
    uint8_t port_test_status[TV_TEST_PORTS];    /* per-port test state */
    uint32_t port_test_count[TV_TEST_PORTS];    /* passes run on the port */
    uint32_t port_fail_count[TV_TEST_PORTS];    /* failed passes on the port */
} tv_test_status_info;

#endif
