// Printing of the command layer. Every report goes to the exported stream `fp`; a host that
// sets it to null silences the layer, as a null log stream silences the protocol module.
#pragma once

#include "tv_export.h"

namespace telvar {

// Formats onto `fp` like fprintf; does nothing when `fp` is null.
void print(const char* format, ...) TV_PRINTF(1, 2);

// The version line and the usage text, as usage() prints them before it exits.
void print_usage();

}  // namespace telvar
