// The read-back after a failed `defaults` (defaults_read_back.h).
//
// The file is read again with the library's own reading of a defaults line (pieces of at most
// 78 characters, tokens, keys without regard to case), so that "the file's value" is what the
// upload sent. A key holds when applying the file's lines of that key to what was read back
// changes nothing. Network keys are held against the network settings; parameter keys against
// the active set (the upload writes there) and the saved set (it saves after a good write).
#include <sys/stat.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "proto/chassis/layout.h"
#include "proto/netconfig/layout.h"
#include "telvar/cli/defaults_read_back.h"
#include "telvar/framework/command_context.h"
#include "telvar/framework/output.h"
#include "tv_api/operations/defaults_file.h"

namespace telvar::tool {

namespace {

namespace D = tv::defaults;
using net_message = std::array<std::uint8_t, tv::layout::netconfig::len>;
using param_message = std::array<std::uint8_t, tv::layout::chassis::param::len>;

// A defaults file is a page of settings: one far larger is not one, and is not read again.
constexpr std::uintmax_t largest_file = 1 << 20;

// The lines of one key of the file, in order, and what it changes.
struct key_lines {
    std::string key;                  // lower case
    std::string shown;                // the last of its lines, as written
    std::vector<std::string> pieces;
    bool network = false;             // else a parameter key
    bool flash = false;
};

std::string lower(std::string_view s) {
    std::string out(s);
    for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

std::string trimmed(std::string_view piece) {
    std::string_view line = D::as_line(piece);
    while (!line.empty() && std::isspace(static_cast<unsigned char>(line.back()))) line.remove_suffix(1);
    return std::string(line);
}

// The keys of the file that set something, in the order they first appear; false when the file
// cannot be read again.
bool keys_of(const char* name, std::vector<key_lines>& keys, std::string& why) {
    struct stat st {};
    if (::stat(name, &st) != 0 || !S_ISREG(st.st_mode)) return why = "it is not a regular file", false;
    if (static_cast<std::uintmax_t>(st.st_size) > largest_file) return why = "it is larger than 1 MiB", false;
    std::ifstream in(name, std::ios::binary);
    const std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    if (!in.good() && !in.eof()) return why = "it cannot be read", false;
    net_message net{};
    param_message params{};
    params[tv::layout::chassis::param::port_count] = tv::layout::chassis::param::per_port;
    for (std::string_view rest = text; !rest.empty();) {
        const std::string_view piece = rest.substr(0, D::next_piece(rest));
        rest.remove_prefix(piece.size());
        std::uint32_t changed = 0;
        const D::piece_outcome o = D::apply_piece(piece, {net, params}, changed);
        const bool flash = o.what == D::verdict::flash;
        if (!flash && changed == 0) continue;  // skipped, unknown, without a value, part_number
        const std::string key = lower(o.key);
        auto k = std::ranges::find(keys, key, &key_lines::key);
        if (k == keys.end()) k = keys.insert(keys.end(), key_lines{key, {}, {}, (changed & D::changed_network) != 0, flash});
        k->shown = trimmed(piece);
        k->pieces.emplace_back(piece);
    }
    return true;
}

// Reads a message, a second time when the first try fails (the loss that failed the upload may
// still be there); the status code.
template <class Read>
int32_t read_twice(Read read) {
    for (int attempt = 0; attempt < 2; ++attempt) {
        if (read() > 0) return TV_OK;
    }
    return tv_api_errno != TV_OK ? tv_api_errno : TV_ERR_NO_RESPONSE;
}

// Whether `net` and `params` already hold what the key's lines set.
bool holds(const key_lines& k, const net_message& net, const param_message& params) {
    net_message n = net;
    param_message p = params;
    std::uint32_t changed = 0;
    for (const std::string& piece : k.pieces) D::apply_piece(piece, {n, p}, changed);
    return n == net && p == params;
}

}  // namespace

void report_defaults_read_back(const checked_line& checked) {
    if (checked.operands.size() < 2) return;
    char* address = checked.operands[0].given;
    const char* file = checked.operands[1].given;
    std::vector<key_lines> keys;
    std::string why;
    if (!keys_of(file, keys, why)) {
        std::fprintf(stderr, "telvar: defaults: %s is not read back: %s\n", file, why.c_str());
        return;
    }
    if (keys.empty()) return;
    // The opening prints nothing of its own: what goes to standard output stays the command's.
    const opened_context opened = open_context(1, &address, 1);
    const context_ptr ctx{opened.ctx};
    net_message net{};
    param_message active{}, saved{};
    int32_t net_status = opened.failure.code, active_status = net_status, saved_status = net_status;
    if (ctx) {
        net_status = read_twice([&] { return tv_get_netconfig_data(ctx.get(), net.data()); });
        active_status = read_twice([&] { return tv_get_port_config_data(ctx.get(), 0, 0, active.data()); });
        saved_status = read_twice([&] { return tv_get_port_config_data(ctx.get(), 0, 2, saved.data()); });
    }
    std::fprintf(stderr, "telvar: defaults: what the switch holds of %s, read back:\n", file);
    const auto say = [](const key_lines& k, const std::string& verdict) {
        std::fprintf(stderr, "telvar: defaults:   %s: %s\n", k.shown.c_str(), verdict.c_str());
    };
    const auto unknown = [](int32_t code) { return "unknown (reading it back failed: " + status_message(code) + ")"; };
    for (const key_lines& k : keys) {
        if (k.flash) {
            say(k, "unknown (a firmware load is not read back)");
        } else if (k.network) {
            say(k, net_status != TV_OK ? unknown(net_status) : holds(k, net, active) ? "applied" : "not applied");
        } else if (active_status != TV_OK) {
            say(k, unknown(active_status));
        } else if (!holds(k, net, active)) {
            say(k, "not applied");
        } else if (saved_status != TV_OK) {
            say(k, "applied (whether it was saved is unknown: " + status_message(saved_status) + ")");
        } else {
            say(k, holds(k, net, saved) ? "applied" : "applied, not saved");
        }
    }
}

}  // namespace telvar::tool
