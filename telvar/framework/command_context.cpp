// The open-report-close frame of a command function (see command_context.h).
#include "telvar/framework/command_context.h"

#include "telvar/telvar.h"

namespace telvar {

command_context::command_context(tv_context* ctx) : ctx_(ctx) {
    if (!ctx_) print_error(tv_api_errno);
}

int32_t command_context::close() {
    ctx_.reset();
    return tv_api_errno;
}

}  // namespace telvar
