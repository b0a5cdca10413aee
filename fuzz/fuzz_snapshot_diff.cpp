// The reader behind diff: two snapshot documents, handed to the diff command as files, as it
// reads them (size and nesting limits, the snapshot check, then the comparison of everything it
// matches by key). Whatever the files hold, diff ends with 0, 1 or 2 and throws nothing; and a
// snapshot compared with itself has no changes.
//
// Input: byte 0 chooses the options (bit 0 --all, bit 1 --json) and whether the first document
// is also compared with itself (bit 2); the rest is the first document, a NUL byte, the second.
// Without a NUL byte the first is compared with itself anyway, at no extra cost. The second
// comparison is left to a bit because it doubled the cost of every input.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <span>

#include "fuzz/support/memory_file.h"
#include "fuzz/support/tool_run.h"
#include "telvar/cli/given_options.h"
#include "telvar/data/data_cmds.h"

namespace {

int run_diff(char* a, char* b) {
    static char word[] = "diff";
    char* argv[] = {word, a, b, nullptr};
    return fuzz::run_tool(telvar::data::diff, 3, argv);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static fuzz::memory_file first, second;
    if (size < 1 || !first || !second) return 0;
    const std::span<const std::uint8_t> docs{data + 1, size - 1};
    const auto split = std::ranges::find(docs, std::uint8_t{0});
    const std::span<const std::uint8_t> a{docs.begin(), split};
    const std::span<const std::uint8_t> b = split == docs.end() ? a : std::span<const std::uint8_t>{split + 1, docs.end()};
    if (!first.hold(a) || !second.hold(b)) return 0;

    std::vector<telvar::given_option> options;
    if (data[0] & 1) options.push_back({"--all"});
    telvar::hand_options(options);
    telvar::data::set_json_wanted(data[0] & 2);
    const bool one_document = split == docs.end();
    const int between = run_diff(first.path(), one_document ? first.path() : second.path());
    const int with_itself = one_document ? between : (data[0] & 4) ? run_diff(first.path(), first.path()) : 0;
    telvar::data::set_json_wanted(false);
    telvar::hand_options({});
    if (between < 0 || between > 2) std::abort();
    if (with_itself != 0 && with_itself != 2) std::abort();  // a snapshot always equals itself
    return 0;
}
