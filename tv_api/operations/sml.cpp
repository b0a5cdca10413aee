// Text management requests: a command line sent as text (a variable to read, or a variable and
// its new value) and the switch's text answer, split into the value and the result code.
//
// The request text is measured no further than the longest one that fits, so a caller's text
// without a terminator within reach is refused rather than read on. A result code from the
// switch is not a failure of the call: the caller reads it from *code.
#include <array>
#include <cstdlib>
#include <cstring>

#include "proto/sml/decode.h"
#include "proto/sml/layout.h"
#include "tv_api/alloc.h"
#include "tv_api/tv_inter.h"

namespace {

namespace L = tv::layout::sml;
using text_buffer = std::array<std::uint8_t, L::msg_len>;

// Sends `request` as a text request of `command`; the answer is left in `resp`.
int32_t exchange_text(tv_context* ctx, std::uint16_t command, const char* request,
                      text_buffer& resp) {
    if (request == nullptr) return TV_ERR_PARAM;
    const std::size_t n = strnlen(request, L::max_padded);
    const std::size_t padded = L::padded_len(n);
    if (padded > L::max_padded) return TV_ERR_PARAM;  // nothing is sent
    text_buffer req;
    const auto msg = std::span(req).first(padded + TV_MIN_MSG_LEN);
    tv::build_request(ctx, msg, command);
    tv::wire::put_bytes(msg, L::text_at, request, n);
    // Answers are as long as their text: in strict mode any length that holds one is plausible.
    return tv::exchange(ctx, msg, resp, L::min_answer).status;
}

int32_t smlget(tv_context* ctx, const char* request, char** value, int32_t* code) {
    text_buffer resp;
    if (const int32_t s = exchange_text(ctx, L::get_command, request, resp); s != TV_OK) return s;
    const tv::sml_get_answer a = tv::parse_sml_get(tv::sml_answer_text(resp));
    if (a.status != TV_OK) return a.status;
    // Zero-filled, so the copy is terminated whatever its length.
    auto* copy = static_cast<char*>(tv::alloc_zeroed(a.value.size() + 1, 1));
    if (copy == nullptr) return TV_ERR_ALLOC;
    if (!a.value.empty()) std::memcpy(copy, a.value.data(), a.value.size());
    *value = copy;
    *code = a.code;
    return TV_OK;
}

int32_t smlset(tv_context* ctx, const char* request, int32_t* code) {
    text_buffer resp;
    if (const int32_t s = exchange_text(ctx, L::set_command, request, resp); s != TV_OK) return s;
    const tv::sml_set_answer a = tv::parse_sml_set(tv::sml_answer_text(resp));
    if (a.status == TV_OK) *code = a.code;
    return a.status;
}

}  // namespace

extern "C" {

int32_t tv_smlget(tv_context* ctx, const char* request, char** value, int32_t* code) {
    if (value != nullptr) *value = nullptr;
    if (code != nullptr) *code = 0;
    if (ctx == nullptr || value == nullptr || code == nullptr) return tv::publish(TV_ERR_PARAM);
    return tv::publish(smlget(ctx, request, value, code));
}

int32_t tv_smlset(tv_context* ctx, const char* request, int32_t* code) {
    if (code != nullptr) *code = 0;
    if (ctx == nullptr || code == nullptr) return tv::publish(TV_ERR_PARAM);
    return tv::publish(smlset(ctx, request, code));
}

void tv_smlfree(char** value) {
    if (value == nullptr) return;
    std::free(*value);
    *value = nullptr;
}

}  // extern "C"
