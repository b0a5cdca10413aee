// Session hygiene of the tool: whatever switch a command logged into (-u/-p) is logged out of
// before its context closes, and at exit should a command end the process with the context
// still open, so that whoever uses the same local port next does not inherit the login.
#pragma once

namespace telvar::tool {

void guard_sessions();

// Whether any command of this process got as far as an open context.
bool context_was_opened();

// Whether a command refused one of its arguments (status 301) after opening its context, which
// some commands report only by a message of their own.
bool argument_was_refused();

}  // namespace telvar::tool
