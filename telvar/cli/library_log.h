// The stream the tool gives the library for its diagnostics: standard error, without the line
// the library writes for every wait that ended without an answer ("Time out in select"). Every
// command but discovery runs with the library's normal timing, which logs that line, and a lost
// answer that the next try makes good is no news for the user: the command's own error says
// when the switch stayed silent. With -v the lines are shown.
#pragma once

#include <cstdio>

namespace telvar::tool {

// The stream, made once for the life of the process.
std::FILE* library_log();

// Ends the library's last line when it left one open (some of its messages end without a
// newline), so that what the tool writes next starts a line of its own.
void end_library_line();

}  // namespace telvar::tool
