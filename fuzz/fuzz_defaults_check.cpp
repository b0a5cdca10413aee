// The tool's check of a defaults file on any text. A refusal names its line; a text it accepts
// is one the library's reader takes exactly as written: every line whole (no piece of a longer
// line read as a line of its own), no key it does not know, no key without a value, no value
// it must replace with something else. Anything else aborts.
#include <array>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "proto/chassis/layout.h"
#include "proto/netconfig/layout.h"
#include "telvar/cli/input_files.h"
#include "tv_api/operations/defaults_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const std::string why = telvar::tool::text_problem(telvar::tool::defaults_input, text);
    if (!why.empty()) {
        if (!why.starts_with("line ")) std::abort();
        return 0;
    }
    std::array<std::uint8_t, tv::layout::netconfig::len> net{};
    std::array<std::uint8_t, tv::layout::chassis::param::len> params{};
    params[tv::layout::chassis::param::port_count] = tv::layout::chassis::param::per_port;
    std::uint32_t changed = 0;
    for (std::string_view rest = text; !rest.empty();) {
        const std::size_t n = tv::defaults::next_piece(rest);
        const std::string_view piece = rest.substr(0, n);
        rest.remove_prefix(n);
        // A line read in pieces (one of exactly the piece length ends with its newline alone).
        if (piece.back() != '\n' && !rest.empty() && rest.front() != '\n') std::abort();
        using tv::defaults::verdict;
        const auto out = tv::defaults::apply_piece(piece, {net, params}, changed);
        if (out.what == verdict::unknown_key || out.what == verdict::no_value || !out.warning.empty()) std::abort();
    }
    return 0;
}
