// The console's tokens file (see tokens.h).
#include "telvard/console/tokens.h"

#include <cstring>

#include "proto/whole_file.h"

namespace telvard::console {

namespace {

constexpr std::size_t largest_file = 1024 * 1024;

bool printable(std::string_view s) {
    for (const char c : s)
        if (static_cast<unsigned char>(c) <= ' ' || static_cast<unsigned char>(c) >= 0x7f) return false;
    return true;
}

}  // namespace

const char* role_name(role r) { return r == role::admin ? "admin" : "read"; }

bool parse_tokens(std::string_view text, std::vector<token>& out, std::string& why) {
    std::vector<token> found;
    std::size_t number = 0;
    while (!text.empty()) {
        ++number;
        const std::size_t end = std::min(text.find('\n'), text.size());
        std::string_view line = text.substr(0, end);
        text.remove_prefix(std::min(end + 1, text.size()));
        line = line.substr(0, std::min(line.find('#'), line.size()));
        std::vector<std::string_view> words;
        for (std::size_t i = 0; i < line.size();) {
            if (line[i] == ' ' || line[i] == '\t' || line[i] == '\r') {
                ++i;
                continue;
            }
            std::size_t j = i;
            while (j < line.size() && line[j] != ' ' && line[j] != '\t' && line[j] != '\r') ++j;
            words.push_back(line.substr(i, j - i));
            i = j;
        }
        if (words.empty()) continue;
        const auto refuse = [&](const std::string& reason) {
            why = "line " + std::to_string(number) + ": " + reason;
            return false;
        };
        if (words.size() != 2) return refuse("expected ROLE TOKEN (ROLE read or admin)");
        if (words[0] != "read" && words[0] != "admin")
            return refuse("'" + std::string(words[0].substr(0, 20)) + "' is no role: read or admin");
        if (!printable(words[1])) return refuse("the token holds a character that is not printable ASCII");
        if (words[1].size() < shortest_token)
            return refuse("the token is shorter than " + std::to_string(shortest_token) + " characters");
        for (const token& t : found)
            if (t.secret == words[1]) return refuse("the token is given twice");
        found.push_back({words[0] == "admin" ? role::admin : role::read, std::string(words[1])});
    }
    if (found.empty()) {
        why = "it holds no token";
        return false;
    }
    out = std::move(found);
    return true;
}

bool read_tokens(const std::string& path, std::vector<token>& out, std::string& why) {
    const auto refuse = [&](const std::string& reason) {
        why = path + ": " + reason;
        return false;
    };
    const tv::whole_file f = tv::read_whole_file(path.c_str(), largest_file);
    if (f.fault == tv::file_fault::not_regular) return refuse("not a regular file");
    if (const std::string open = tv::open_to_others(f, path); !open.empty()) return refuse(open);
    if (f.fault == tv::file_fault::too_large) return refuse("larger than 1 MiB");
    if (!f) return refuse(std::strerror(f.error));
    const std::string& text = f.text;
    std::string reason;
    if (!parse_tokens(text, out, reason)) return refuse(reason);
    return true;
}

}  // namespace telvard::console
