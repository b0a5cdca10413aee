// Every operation of the library on answers the fuzzer writes, through the real exchange and
// listening with the memory transport under them (support/memory_transport.h): the requests go
// nowhere, the answers come from the input, and the strict and lenient checks run as they do
// for everyone.
//
// Input: byte 0 picks the operation, bit 0 of byte 1 turns strict answer mode on, and the rest
// is the script of answers.
#include <cstdint>
#include <string_view>
#include <vector>

#include "fuzz/support/memory_transport.h"
#include "support/every_operation.h"
#include "support/saved_globals.h"
#include "support/test_addresses.h"
#include "tv_api/tv_inter.h"

namespace {

// A sequence number far from the 32-bit wrap, the same for every input.
constexpr std::uint32_t first_seq = 0x1000;

// Operations that send datagrams of their own, outside the transport, to addresses taken from
// the answers (the trap counter ends with the test alert to the listeners of the answer): a
// fuzzer must not write to the network around it.
bool runnable(std::string_view name) { return name != "trap alert" && name != "trap counter"; }

struct harness {
    tv_context* ctx = nullptr;
    tv_context pristine{};
    std::vector<const tvtest::operation*> ops;

    harness() {
        tv_api_open(nullptr);
        tv::set_log_stream(nullptr);  // a line per timed-out wait would swamp the fuzzer's own
        Discover = 0;
        // The context is opened once and put back as it was before each input; its socket is
        // never used.
        ctx = tv_open(tvtest::addr::fuzz_operations_switch);
        if (ctx != nullptr) pristine = *ctx;
        for (const auto& op : tvtest::every_operation())
            if (runnable(op.name)) ops.push_back(&op);
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static harness h;
    if (size < 2 || h.ctx == nullptr) return 0;
    const tvtest::saved_globals keep;  // an operation may change the timing or the mode
    *h.ctx = h.pristine;
    const tvtest::operation& op = *h.ops[data[0] % h.ops.size()];
    g_strict_answers = data[1] & 1;
    msg_seq_num = first_seq;
    fuzz::script_answers({data + 2, size - 2});
    op.run(h.ctx);
    return 0;
}
