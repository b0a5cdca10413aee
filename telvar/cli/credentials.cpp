// Reading the credentials file (see credentials.h), through the bounded reader of input files:
// opened once and checked through its descriptor, so that what is checked is what is read, and
// without blocking, so that a FIFO put in its place is refused rather than waited on.
#include "telvar/cli/credentials.h"

#include <pwd.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "proto/whole_file.h"

namespace telvar::credentials {

namespace {

bool is_blank(char ch) { return ch == ' ' || ch == '\t' || ch == '\r'; }

std::vector<std::string_view> fields_of(std::string_view line) {
    std::vector<std::string_view> out;
    std::size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && is_blank(line[i])) ++i;
        const std::size_t start = i;
        while (i < line.size() && !is_blank(line[i])) ++i;
        if (i > start) out.push_back(line.substr(start, i - start));
    }
    return out;
}

// Four decimal numbers up to 255 without leading zeros, as the tool's command line takes them.
bool dotted_quad(std::string_view t) {
    for (int part = 0; part < 4; ++part) {
        const std::size_t dot = part < 3 ? t.find('.') : t.size();
        if (dot == std::string_view::npos || dot == 0 || dot > 3) return false;
        const std::string_view digits = t.substr(0, dot);
        if (digits.find_first_not_of("0123456789") != std::string_view::npos) return false;
        if (digits.size() > 1 && digits[0] == '0') return false;
        if (std::atoi(std::string(digits).c_str()) > 255) return false;
        t.remove_prefix(std::min(dot + 1, t.size()));
    }
    return t.empty();
}

// Labels of letters, digits, '-' and '_' joined by dots.
bool host_name(std::string_view t) {
    if (t.empty() || t.size() > 253 || t.front() == '.' || t.back() == '.' || t.front() == '-') return false;
    if (t.find("..") != std::string_view::npos) return false;
    return std::ranges::all_of(t, [](char ch) {
        return std::isalnum(static_cast<unsigned char>(ch)) != 0 || ch == '-' || ch == '_' || ch == '.';
    });
}

// Why a line's address is refused, or empty.
std::string address_problem(std::string_view a) {
    if (a == "*") return {};
    if (a.find_first_not_of("0123456789.") == std::string_view::npos)
        return dotted_quad(a) ? std::string() : "'" + std::string(a) + "' is not a dotted IPv4 address";
    return host_name(a) ? std::string() : "'" + std::string(a) + "' is not an IPv4 address, a host name or *";
}

bool same_address(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::ranges::equal(a, b, [](char x, char y) {
        return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
    });
}

std::string too_large() { return "is larger than " + std::to_string(max_file_bytes) + " bytes"; }

}  // namespace

const entry* file::find(std::string_view address) const {
    const auto it = std::ranges::find_if(entries, [&](const entry& e) {
        return e.address == "*" || same_address(e.address, address);
    });
    return it == entries.end() ? nullptr : &*it;
}

bool parse(std::string_view text, file& out, std::string& error) {
    out.entries.clear();
    int number = 0;
    const auto refuse = [&](const std::string& why) {
        error = "line " + std::to_string(number) + ": " + why;
        out.entries.clear();
        return false;
    };
    while (!text.empty()) {
        ++number;
        const std::size_t end = std::min(text.find('\n'), text.size());
        const std::string_view line = text.substr(0, end);
        text.remove_prefix(std::min(end + 1, text.size()));
        if (std::ranges::any_of(line, [](char ch) { return std::iscntrl(static_cast<unsigned char>(ch)) && !is_blank(ch); }))
            return refuse("holds a control character");
        const std::vector<std::string_view> f = fields_of(line);
        if (f.empty() || f[0].starts_with('#')) continue;
        if (f.size() != 3)
            return refuse("expected ADDRESS USER PASSWORD, found " + std::to_string(f.size()) +
                          (f.size() == 1 ? " field" : " fields"));
        if (const std::string why = address_problem(f[0]); !why.empty()) return refuse(why);
        // Longer texts would be cut to 8 characters by the login and so log in as someone else.
        if (f[1].size() > max_field_chars)
            return refuse("the user id '" + std::string(f[1]) + "' is longer than 8 characters");
        if (f[2].size() > max_field_chars) return refuse("the password is longer than 8 characters");
        out.entries.push_back({std::string(f[0]), std::string(f[1]), std::string(f[2]), number});
    }
    return true;
}

bool read(const std::string& path, bool missing_ok, file& out, std::string& error) {
    out.entries.clear();
    const auto refuse = [&](const std::string& why) {
        error = path + ": " + why;
        return false;
    };
    const ::tv::whole_file f = ::tv::read_whole_file(path.c_str(), max_file_bytes);
    if (f.fault == ::tv::file_fault::cannot_open) {
        if (missing_ok && (f.error == ENOENT || f.error == ENOTDIR)) return true;
        return refuse(std::strerror(f.error));
    }
    if (f.fault == ::tv::file_fault::not_regular) return refuse("is not a regular file");
    if (const std::string open = ::tv::open_to_others(f, path); !open.empty()) return refuse(open);
    if (f.fault == ::tv::file_fault::too_large) return refuse(too_large());
    if (f.fault == ::tv::file_fault::cannot_read) return refuse(std::strerror(f.error));
    std::string why;
    if (!parse(f.text, out, why)) return refuse(why);
    return true;
}

std::optional<location> where() {
    if (const char* named = std::getenv("TELVAR_CREDENTIALS")) {
        if (*named == '\0') return std::nullopt;
        return location{named, true};
    }
    const char* home = std::getenv("HOME");
    if (home == nullptr || *home == '\0') {
        const passwd* pw = ::getpwuid(::getuid());
        home = pw != nullptr ? pw->pw_dir : nullptr;
    }
    if (home == nullptr || *home == '\0') return std::nullopt;
    return location{std::string(home) + "/.config/telvar/credentials", false};
}

bool read_default(file& out, std::string& error) {
    out.entries.clear();
    const std::optional<location> at = where();
    return !at || read(at->path, !at->must_exist, out, error);
}

}  // namespace telvar::credentials
