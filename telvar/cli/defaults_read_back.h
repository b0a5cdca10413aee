// What the switch holds of a defaults file after `defaults` reported a failure. A write whose
// answer was lost may have been applied, so the outcome of a failed upload is read back rather
// than guessed: the switch's network settings and its active and saved parameter sets are read
// again, and standard error says for each key of the file whether the switch holds the file's
// value (applied), does not (not applied), or could not be read (unknown). What `defaults`
// itself printed and returned stays as it is.
#pragma once

#include "telvar/cli/command_line.h"

namespace telvar::tool {

// For a `defaults` line (`checked`: its address and file) whose command failed. Opens a context
// of its own with the line's global flags (-port, -f, the login), which the command has read.
void report_defaults_read_back(const checked_line& checked);

}  // namespace telvar::tool
