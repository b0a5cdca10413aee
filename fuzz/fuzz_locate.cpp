// The readers behind locate: the snapshot file of --snapshot, or the fabric walk over the
// switch's answers (fed from the input by the memory transport), then the search for the
// device by WWN or FC address and its zones. Whatever it reads, locate ends with a defined
// status (0 found, 1 not found or a bad key, 2 trouble, 3 no connection) and throws nothing.
//
// Input: byte 0 chooses (bit 0: the live fabric instead of a file, bit 1: --json, bit 2:
// strict answers), then the device's key as typed, a NUL byte, and the snapshot document or
// the script of answers.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <string>

#include "fuzz/support/memory_file.h"
#include "fuzz/support/memory_transport.h"
#include "fuzz/support/tool_run.h"
#include "support/saved_globals.h"
#include "support/test_addresses.h"
#include "telvar/cli/given_options.h"
#include "telvar/data/data_cmds.h"

namespace {

constexpr std::size_t max_key_chars = 40;
constexpr std::uint32_t first_seq = 0x3000;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static fuzz::memory_file document;
    static char word[] = "locate";
    static std::string address = tvtest::addr::fuzz_locate_switch;
    if (size < 1 || !document) return 0;
    const bool live = data[0] & 1;
    const std::span<const std::uint8_t> rest{data + 1, size - 1};
    const auto split = std::ranges::find(rest, std::uint8_t{0});
    std::string key(rest.begin(), split);
    key.resize(std::min(key.size(), max_key_chars));
    const std::span<const std::uint8_t> after = split == rest.end() ? std::span<const std::uint8_t>{}
                                                                   : std::span<const std::uint8_t>{split + 1, rest.end()};

    const tvtest::saved_globals keep;
    int status = 0;
    telvar::data::set_json_wanted(data[0] & 2);
    if (live) {
        g_udpport = "0";  // the system chooses the local port; nothing is sent from it
        g_strict_answers = (data[0] & 4) != 0;
        msg_seq_num = first_seq;
        fuzz::script_answers(after);
        char* argv[] = {word, address.data(), key.data(), nullptr};
        status = fuzz::run_tool(telvar::data::locate, 3, argv);
    } else if (document.hold(after)) {
        telvar::hand_options({{"--snapshot", document.path()}});
        char* argv[] = {word, key.data(), nullptr};
        status = fuzz::run_tool(telvar::data::locate, 2, argv);
    }
    telvar::hand_options({});
    telvar::data::set_json_wanted(false);
    if (status < 0 || status > 3) std::abort();
    return 0;
}
