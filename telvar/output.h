// Printing of the command layer. Every report goes to the exported stream `fp`; a host that
// sets it to null silences the layer, as a null log stream silences the protocol module.
#pragma once

#include <cstdint>

#include "tv_export.h"

namespace telvar {

// Formats onto `fp` like fprintf; does nothing when `fp` is null.
void print(const char* format, ...) TV_PRINTF(1, 2);

// The version line and the usage text, as usage() prints them before it exits.
void print_usage();

// Told of every status code that print_error prints, so that a host (the tool's dispatcher)
// learns of failures a command reported and still returned 0 for. Null: nobody is told.
using print_error_observer = void (*)(int32_t code);
void set_print_error_observer(print_error_observer observer);

}  // namespace telvar
