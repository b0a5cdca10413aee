// The context of one command function: opened by open_ip_context or open_ip_port_context,
// reported with print_error when that failed, closed exactly once.
//
//     telvar::command_context ctx{open_ip_context(argc, argv, 1, nullptr)};
//     if (!ctx) return tv_api_errno;
//     ... operations on ctx.get() ...
//     return ctx.close();
#pragma once

#include <cstdint>

#include "telvar/telvar.h"
#include "tv_api/command_support.h"

namespace telvar {

// The command layer's owner of a context: closing logs out of what the tool logged into.
using context_ptr = tv::owned_context<&close_ip_context>;

class command_context {
public:
    // Takes ownership of an opened context; a null one prints tv_api_errno's message.
    explicit command_context(tv_context* ctx);

    explicit operator bool() const { return ctx_ != nullptr; }
    tv_context* get() const { return ctx_.get(); }

    // Closes the context and returns tv_api_errno as the close leaves it (0): what a command
    // returns once its context was open.
    int32_t close();

private:
    context_ptr ctx_;
};

}  // namespace telvar
