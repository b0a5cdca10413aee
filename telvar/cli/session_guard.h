// Session hygiene of the tool: whatever switch a command logged into (-u/-p) is logged out of
// before its context closes, and at exit should a command end the process with the context
// still open, so that whoever uses the same local port next does not inherit the login.
#pragma once

namespace telvar::tool {

void guard_sessions();

}  // namespace telvar::tool
