// The dispatcher's choice of the local UDP port. Left to the command, a command binds port 5001
// unless -port or the environment says otherwise, and a port held by another telvar (or a
// trap_listen left running) costs 8 seconds of bind retries and then the command. When nobody
// asked for 5001 and it is taken, the dispatcher gives the command `-port 0` instead.
#pragma once

#include <vector>

namespace telvar::tool {

// `line` is the command's argument vector (its word first). `address` is the switch the command
// will open a context to, or null when it opens none; the command's own reading of the address
// decides which local address the port is tried on. With -v, says on standard error when the
// port was moved.
void choose_local_port(const char* address, std::vector<char*>& line);

}  // namespace telvar::tool
