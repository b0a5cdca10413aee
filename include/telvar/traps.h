/* Trap records: the switch's trap configuration, trapping status, listener handles, trap
 * counters and received trap events.
 *
 * A switch watches 32 trap codes (0 to 31). For each it keeps a rising and a falling threshold
 * and an enable flag; when a counter crosses a threshold of an enabled code while trapping is
 * on, the switch sends a trap message to every registered listener (at most 12). */
#ifndef TV_TRAPS_H
#define TV_TRAPS_H

#include <stdint.h>

#include "tv_export.h"

#define TV_TRAP_CODES 32          /* trap codes 0 to 31 */
#define TV_TRAP_BLOCK_LEN 300     /* bytes of the switch's trap configuration block */
#define TV_MAX_TRAP_LISTENERS 12  /* room of the listener table */
#define TV_TRAP_TEST_CODE 99      /* trap code of the test alert the library sends */
#define TV_TRAP_RISING 0          /* alert types */
#define TV_TRAP_FALLING 1

struct tv_context;

/* One trap code's configuration. */
typedef struct tv_trap_config {
    uint8_t code;     /* 0 to 31 */
    uint8_t status;   /* nonzero: enabled */
    int32_t rising;   /* rising threshold */
    int32_t falling;  /* falling threshold */
} tv_trap_config;

/* All trap codes; entries is allocated by tv_get_all_trap_configs and released by
 * tv_free_trap_configs. */
typedef struct tv_trap_config_list {
    uint32_t count;
    tv_trap_config *entries;
} tv_trap_config_list;

typedef struct tv_trapping_status {
    uint8_t enabled;   /* 1 or 0 */
    int32_t interval;  /* sample interval in milliseconds */
} tv_trapping_status;

/* What tv_set_trap_counter asks the switch to do with one of its trap counters: the counter
 * (index), the unit it is about (value_b1), and either setting it (mode 0) or adding to it
 * (mode nonzero) by value. */
typedef struct tv_trap_counter {
    uint8_t index;
    uint8_t value_b1;
    uint8_t mode;
    int32_t value;
} tv_trap_counter;

/* A registered listening context; allocated by tv_trap_createlistener, released by
 * tv_trap_release_listener. */
typedef struct tv_trap_listener {
    int32_t count;            /* 1 while registered */
    struct tv_context *ctx;   /* the listening context, with its own UDP socket */
} tv_trap_listener;

/* One received trap. */
typedef struct tv_trap_event {
    uint32_t source;  /* FC address of the switch that raised it (24 bits) */
    uint8_t unit;     /* port number (codes 9-25) or ASIC number (codes 29-31) */
    uint8_t code;
    uint8_t alert;    /* TV_TRAP_RISING or TV_TRAP_FALLING */
    int32_t value;    /* counter value */
    int32_t change;   /* counter change */
} tv_trap_event;

TV_BEGIN_DECLS

/* Descriptions of trap codes 0 to 31, and the names of the alert types. */
TV_EXPORT extern const char *const trap_types[TV_TRAP_CODES];
TV_EXPORT extern const char *const trap_alert_types[2];

TV_END_DECLS

#endif
