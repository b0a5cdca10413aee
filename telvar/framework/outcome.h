// What a command came to, as its core returns it: the tool's exit status is derived from this
// alone, and the command functions of the library return the value their callers know from it.
//
//     done           it did what it was asked (`changed`: a changing command changed something)
//     refused        the command line was refused (an argument, a bad port number, a file named
//                    on it that cannot be read, a change the user did not confirm)
//     failed         the switch or the network reported a failure
//     no_connection  no context could be set up (a bad address, no socket, a refused login)
//     own_status     a data command that chose its exit status itself (diff, zone_apply, ...)
#pragma once

#include <cstdint>

#include "telvar/tv_errs.h"

namespace telvar {

enum class outcome_kind : std::uint8_t { done, refused, failed, no_connection, own_status };

struct outcome {
    outcome_kind kind = outcome_kind::done;
    // The status code behind a refusal, failure or missing connection; the exit status of
    // own_status.
    int32_t code = TV_OK;
    bool changed = false;
    // What the command function of the library returns for it: the status code of a failed
    // open, else 0 (and for wwn_zone the status of a failed save or reset).
    int32_t returned = 0;

    static outcome done(bool changed = false) { return {outcome_kind::done, TV_OK, changed, 0}; }
    static outcome refused(int32_t code = TV_ERR_PARAM) { return {outcome_kind::refused, code, false, 0}; }
    static outcome failed(int32_t code) { return {outcome_kind::failed, code, false, 0}; }
    static outcome no_connection(int32_t code) { return {outcome_kind::no_connection, code, false, code}; }
    static outcome own_status(int status) { return {outcome_kind::own_status, status, false, 0}; }
    // An operation's status code: 0 done, 301 (an argument refused before anything was sent) a
    // refusal, anything else the switch's or the network's failure.
    static outcome of_status(int32_t code) {
        if (code == TV_OK) return done();
        return code == TV_ERR_PARAM ? refused(code) : failed(code);
    }

    bool ok() const { return kind == outcome_kind::done; }

    // A later step's outcome joined to this one: the first trouble stands (later steps of a
    // command that goes on after a failure do not hide it), and a change made stays made.
    outcome& also(const outcome& later) {
        const bool any_change = changed || later.changed;
        if (ok() && !later.ok()) *this = later;
        changed = any_change;
        return *this;
    }
};

// The tool's exit status: 0 done, 1 command-line error, 2 a failure reported by the switch or
// the network, 3 no context; a data command's own.
inline int exit_status_of(const outcome& o) {
    switch (o.kind) {
        case outcome_kind::done: return 0;
        case outcome_kind::refused: return 1;
        case outcome_kind::failed: return 2;
        case outcome_kind::no_connection: return 3;
        case outcome_kind::own_status: return o.code;
    }
    return 2;
}

}  // namespace telvar
