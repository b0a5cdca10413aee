// What the tool says on standard error beside its reports and errors: hints (how to get past a
// trouble, progress on a terminal), which -q silences, and notes of what it does (the switch it
// addresses, the local port it uses), which only -v asks for. The level starts at quiet, so that
// a host calling the library's command functions gets only the texts they are defined to
// print; the tool's dispatcher sets it.
#pragma once

#include "telvar/tv_export.h"

namespace telvar {

enum class notice_level { quiet, normal, verbose };

void set_notice_level(notice_level level);
notice_level current_notice_level();

// "telvar: " and the text on standard error, unless -q was given.
void hint(const char* format, ...) TV_PRINTF(1, 2);
// "telvar: " and the text on standard error, only when -v was given.
void note(const char* format, ...) TV_PRINTF(1, 2);
// Whether a progress line belongs on standard error: it is a terminal, and -q was not given.
bool progress_wanted();

}  // namespace telvar
