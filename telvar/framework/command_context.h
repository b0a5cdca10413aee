// The context of one command core: opened with what the opening came to, reported with
// print_error when that failed, closed exactly once (at the latest when it goes out of scope).
//
//     telvar::command_context ctx{telvar::open_context(argc, argv, 1)};
//     if (!ctx) return ctx.failure();
//     ... operations on ctx.get(), each trouble returned as telvar::reported(code) ...
//     return telvar::outcome::done();
#pragma once

#include <cstdint>

#include "telvar/framework/outcome.h"
#include "telvar/telvar.h"
#include "tv_api/command_support.h"

namespace telvar {

// The command layer's owner of a context: closing logs out of what the tool logged into.
using context_ptr = tv::owned_context<&close_ip_context>;

// A context as an opening left it: open, or null with the outcome that explains why.
struct opened_context {
    tv_context* ctx = nullptr;
    outcome failure;
};

// open_ip_context with its reason on failure: no connection when no context could be set up
// (no socket, a refused login). A bad command line prints the usage text and ends the process.
opened_context open_context(int32_t argc, char** argv, int32_t min, char** ip_out = nullptr);

// open_ip_port_context likewise: a port number out of range prints "bad port number: %d\n" and
// is a refusal of the command line.
opened_context open_port_context(int32_t argc, char** argv, int32_t min, bool allow_all,
                                 int32_t* port_out, char** ip_out = nullptr);

// open_context for a command whose port numbers need the switch's port count: when the count
// could not be read the context is closed, and the query's status is the failure, since going
// on with an assumed count would change the wrong ports.
opened_context open_with_port_count(int32_t argc, char** argv, int32_t min);

// open_with_port_count for a command of the address and a port text (a number or "all"): the
// port in `port` (TV_ALL_PORTS for "all"). A number out of range prints "bad port number: %d\n"
// and is refused; any other text prints the usage text and ends the process.
opened_context open_with_port(int32_t argc, char** argv, int32_t& port);

class command_context {
public:
    // Takes ownership of an opened context; a null one prints tv_api_errno's message, as every
    // command does when it could not open.
    explicit command_context(const opened_context& opened);

    explicit operator bool() const { return ctx_ != nullptr; }
    tv_context* get() const { return ctx_.get(); }

    // What the command comes to when the context could not be opened; the command function
    // returns the status code it printed.
    outcome failure() const { return failure_; }

    // Closes the context now (closing resets tv_api_errno to 0).
    void close();

private:
    context_ptr ctx_;
    outcome failure_;
};

// print_error(code) and what the code makes of the command: the common way to report the
// failure of a step.
outcome reported(int32_t code);

}  // namespace telvar
