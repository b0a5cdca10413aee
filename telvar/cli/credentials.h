// The credentials file: logins for switches, kept out of command lines (where every user of the
// machine sees them in the process list) and out of scripts. One line per switch or for any:
//
//     # ADDRESS          USER      PASSWORD
//     10.0.0.1           admin     secret
//     core-sw2.example   oper2     pw2
//     *                  monitor   readonly
//
// ADDRESS is a dotted IPv4 address or a host name as it is typed on the command line, or "*" for
// any switch; the first line that matches a switch's address wins, so "*" goes last. Fields are
// separated by blanks, so a password holds none; user ids and passwords are of 1 to 8 characters,
// as a switch keeps them. Lines that start with '#' and blank lines are skipped.
//
// A file that others than its owner may read or change, that is no regular file, that is larger
// than max_file_bytes or that holds a malformed line is refused whole, with a reason: a file half
// read would log in with the wrong account. The tool and the exporter read it here, and so can
// any other program of ours.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace telvar::credentials {

// A credentials file holds a few lines per fabric; anything larger is not one.
inline constexpr std::size_t max_file_bytes = 64 * 1024;
// A switch keeps user ids and passwords of at most 8 characters.
inline constexpr std::size_t max_field_chars = 8;

struct entry {
    std::string address;  // "*", a dotted IPv4 address or a host name
    std::string user;
    std::string password;
    int line = 0;         // where it stands in the file, from 1
};

struct file {
    std::vector<entry> entries;

    // The first entry for `address` as typed (host names compared without regard to case) or
    // for "*"; null when there is none.
    const entry* find(std::string_view address) const;
};

// Parses the text of a credentials file into `out`; false with `error` ("line N: reason") at the
// first malformed line, `out` then empty.
bool parse(std::string_view text, file& out, std::string& error);

// Reads and parses the file at `path`; false with `error` ("PATH: reason") when it is refused.
// A file that does not exist reads as one without entries when `missing_ok`.
bool read(const std::string& path, bool missing_ok, file& out, std::string& error);

// The tool's file: $TELVAR_CREDENTIALS, which must exist, else ~/.config/telvar/credentials,
// which need not. None when TELVAR_CREDENTIALS is set but empty (no file is read) or there is no
// home folder.
struct location {
    std::string path;
    bool must_exist = false;
};
std::optional<location> where();

// Reads the tool's file (where()); a file without entries when there is none to read.
bool read_default(file& out, std::string& error);

}  // namespace telvar::credentials
