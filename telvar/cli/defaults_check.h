// The tool's own rules for a switch defaults file, stricter than the library's reader (which
// applies what it can of any line, taking an unreadable number as 0 and an unreadable address
// as 255.255.255.255): every line is blank, a comment (its first character other than a blank
// is '#'), or a key of the file format at the start of the line with a value of the key's kind.
#pragma once

#include <string>
#include <string_view>

namespace telvar::tool {

// Why the tool refuses one line of a defaults file (without its newline), or empty. A flash
// line's firmware file must be a regular file that a firmware load can carry.
std::string defaults_line_problem(std::string_view line);

}  // namespace telvar::tool
