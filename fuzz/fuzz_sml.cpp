// The readers of management-variable answers on any bytes: the input as a response of its own
// length and as the 1492-byte buffer the operations use. The answer text must lie inside the
// response, start at offset 16 and hold no NUL; the value must lie inside the text.
#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdlib>

#include "proto/sml/decode.h"
#include "proto/sml/layout.h"

namespace {

namespace L = tv::layout::sml;

void check(tv::wire::cbytes resp) {
    const std::string_view text = tv::sml_answer_text(resp);
    const auto* first = reinterpret_cast<const char*>(resp.data());
    if (!text.empty() && (text.data() != first + L::text_at ||
                          text.data() + text.size() >= first + resp.size()))
        std::abort();
    if (text.find('\0') != std::string_view::npos) std::abort();

    const tv::sml_get_answer g = tv::parse_sml_get(text);
    if (g.status == 0 && (g.value.data() != text.data() || g.value.size() > text.size()))
        std::abort();
    if (g.status != 0 && (g.status != 200 || !g.value.empty() || g.code != 0)) std::abort();
    const tv::sml_set_answer s = tv::parse_sml_set(text);
    if (s.status != 0 && s.status != 200) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    check({data, size});
    std::array<std::uint8_t, L::msg_len> buffer{};
    std::copy_n(data, std::min(size, buffer.size()), buffer.begin());
    check(buffer);
    (void)tv::sml_hex({reinterpret_cast<const char*>(data), size});
    return 0;
}
