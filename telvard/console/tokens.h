// The console's tokens: who may do what. The tokens file holds one `ROLE TOKEN` a line, ROLE
// `read` (sees everything) or `admin` (may also change the zoning); '#' starts a comment. The
// file is refused whole when a line is malformed, when a token is shorter than 16 characters,
// or when others than its owner may read it: half a tokens file would lock out or let in the
// wrong people.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace telvard::console {

enum class role { read, admin };

const char* role_name(role r);

struct token {
    role grants = role::read;
    std::string secret;
};

inline constexpr std::size_t shortest_token = 16;

// The tokens of a file's text; false with "line N: why".
bool parse_tokens(std::string_view text, std::vector<token>& out, std::string& why);

// The tokens of the file at `path` (a regular file of at most 1 MiB, mode 0600 or stricter);
// false with why, naming the file.
bool read_tokens(const std::string& path, std::vector<token>& out, std::string& why);

}  // namespace telvard::console
