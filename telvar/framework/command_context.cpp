// The open-report-close frame of a command core (see command_context.h).
#include "telvar/framework/command_context.h"

#include "telvar/telvar.h"

namespace telvar {

command_context::command_context(const opened_context& opened) : ctx_(opened.ctx), failure_(opened.failure) {
    if (ctx_ != nullptr) return;
    // The status printed is the one the command function returns (0 after a bad port number:
    // the context was closed, which resets it).
    failure_.returned = tv_api_errno;
    print_error(tv_api_errno);
}

void command_context::close() { ctx_.reset(); }

outcome reported(int32_t code) {
    print_error(code);
    return outcome::of_status(code);
}

}  // namespace telvar
