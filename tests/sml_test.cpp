// Management-variable get and set: the text request on the wire, the answer's forms against a
// scripted switch, and where the answer text ends.
#include <climits>
#include <cstring>
#include <string>

#include "proto/sml/decode.h"
#include "proto/sml/layout.h"
#include "support/switch_test.h"
#include "support/test_addresses.h"

namespace {

using tvtest::bytes;

// An answer carrying `text`, NUL-padded as a switch sends it.
tvtest::step text_answer(std::string_view text) {
    bytes payload(tv::layout::sml::padded_len(text.size()), 0);
    std::memcpy(payload.data(), text.data(), text.size());
    return tvtest::answer(payload);
}

class sml : public tvtest::switch_test {
protected:
    sml() : switch_test(tvtest::addr::sml_switch) {}

    // tv_smlget's status, value (or "<null>") and code; tv_smlset's status and code.
    std::string get(const char* request) {
        char* value = nullptr;
        int32_t code = -7;
        const int32_t status = tv_smlget(ctx, request, &value, &code);
        const std::string v = value ? "\"" + std::string(value) + "\"" : "<null>";
        tv_smlfree(&value);
        return std::to_string(status) + " " + v + " " + std::to_string(code);
    }
    std::string set(const char* request) {
        int32_t code = -7;
        const int32_t status = tv_smlset(ctx, request, &code);
        return std::to_string(status) + " " + std::to_string(code);
    }
};

TEST_F(sml, get_sends_the_padded_text_and_splits_the_answer) {
    sw.script({text_answer("speed=2#1f"), text_answer("#5"), text_answer("plain"),
               text_answer("x"), tvtest::refused(0x0E)});
    EXPECT_EQ("0 \"speed=2\" 31", get("show port 3"));
    const bytes req = request(0);
    ASSERT_EQ(32u, req.size());  // 11 characters take 12 bytes
    EXPECT_EQ(0x04000010u, tv::wire::get_be32(req, 8));  // command 0x400, length 16
    EXPECT_EQ(std::string("show port 3\0", 12), text_at(req, 16, 12));

    EXPECT_EQ("0 \"\" 5", get("a"));  // an empty value, not a missing one
    EXPECT_EQ("0 \"plain\" 0", get("b"));
    EXPECT_EQ("200 <null> 0", get("c"));
    EXPECT_EQ("202 <null> 0", get("d"));
}

TEST_F(sml, set_reads_the_code_and_refuses_other_answers) {
    sw.script({text_answer("#0"), text_answer("#1f"), text_answer("ok"), text_answer("#")});
    EXPECT_EQ("0 0", set("abcd"));
    // 4 characters take 8 bytes (one NUL at least): length 12.
    EXPECT_EQ(0x0401000cu, tv::wire::get_be32(request(0), 8));
    EXPECT_EQ("0 31", set("e"));
    EXPECT_EQ("200 0", set("g"));
    EXPECT_EQ("200 0", set("h"));
}

TEST_F(sml, request_text_length_is_bounded) {
    sw.set_fallback(text_answer("#0"));
    const std::string longest(1468, 'v');  // takes 1472 bytes: a 1492-byte message
    EXPECT_EQ("0 0", set(longest.c_str()));
    EXPECT_EQ(1492u, request(0).size());
    const std::string too_long(1472, 'v');
    EXPECT_EQ("301 0", set(too_long.c_str()));
    EXPECT_EQ("301 <null> 0", get(too_long.c_str()));
    EXPECT_EQ("301 0", set(nullptr));
    EXPECT_EQ(1u, sw.count());  // nothing else was sent
}

TEST(sml_answer, text_is_cut_by_the_length_field_within_the_buffer) {
    bytes resp(tv::layout::sml::msg_len, 'a');
    const auto text_with_length = [&](std::uint16_t len) {
        tv::wire::put_be16(resp, tv::off::length, len);
        return tv::sml_answer_text(resp).size();
    };
    EXPECT_EQ(5u, text_with_length(8));             // NUL at 21
    EXPECT_EQ(1475u, text_with_length(0xFFFF));     // cut at the buffer's last byte
    EXPECT_EQ(1475u, text_with_length(0));          // a cut in the header does not end it
    resp[20] = 0;
    EXPECT_EQ(4u, text_with_length(0xFFFF));        // the first NUL ends it
}

TEST(sml_answer, codes_read_as_hexadecimal) {
    const std::pair<const char*, std::int32_t> cases[] = {
        {"1f", 31}, {"0x1F", 31}, {" +a", 10}, {"-5", -5}, {"7g", 7}, {"", 0}, {"zz", 0},
        {"0x", 0}, {"0xg", 0}, {"7fffffff", INT32_MAX}, {"ffffffffff", INT32_MAX},
        {"-ffffffffff", INT32_MIN}};
    for (const auto& [text, code] : cases) EXPECT_EQ(code, tv::sml_hex(text)) << text;
}

}  // namespace
