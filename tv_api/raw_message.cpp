// Raw messages: a message written word by word in a text file, sent as it stands (the caller
// writes the header too; only the checksum is computed here) and answered through tv_listen.
#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "tv_api/raw_message.h"
#include "tv_api/tv_inter.h"

namespace {

constexpr int32_t listen_ms = 500;
constexpr size_t line_room = tv::message_line_len + 1;

bool is_hex(char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

// strtol with base 16 as a 32-bit long would give it: larger values become 0x7FFFFFFF.
uint32_t leading_hex(const char* line) {
    errno = 0;
    const long long v = std::strtoll(line, nullptr, 16);
    const bool overflow = errno == ERANGE;
    errno = 0;
    return overflow || v > 0x7FFFFFFF ? 0x7FFFFFFFu : static_cast<uint32_t>(v);
}

}  // namespace

namespace tv {

int read_message_words(std::FILE* in, wire::bytes msg) {
    const size_t room = msg.size() / 4 - 1;  // the checksum takes the last word
    std::fill(msg.begin(), msg.end(), std::uint8_t{0});
    char line[line_room];
    size_t words = 0;
    while (std::fgets(line, sizeof line, in) != nullptr) {
        const size_t len = std::strlen(line);
        // The rest of an overlong line belongs to it: skip it rather than read it as a line.
        if (len == sizeof line - 1 && line[len - 1] != '\n') {
            int c;
            while ((c = std::fgetc(in)) != EOF && c != '\n') {
            }
        }
        if (!is_hex(line[0])) continue;
        if (words == room) return -1;
        wire::put_be32(msg, 4 * words++, leading_hex(line));
    }
    return static_cast<int>(words);
}

}  // namespace tv

extern "C" int32_t tv_message(tv_context* ctx, const char* length_flag, const char* checksum_flag,
                              const char* file_name, void* resp) {
    if (ctx == nullptr || resp == nullptr || file_name == nullptr) return tv::publish(TV_ERR_PARAM);
    std::FILE* in = std::fopen(file_name, "r");
    if (in == nullptr) return tv::publish(errno);

    std::array<std::uint8_t, TV_MAX_MSG_LEN> msg{};
    const int words = tv::read_message_words(in, msg);
    std::fclose(in);
    if (words < 0) {
        log_error("%s: more than %d words do not fit in one message\n", file_name,
                  TV_MAX_MSG_LEN / 4 - 1);
        errno = EFBIG;
        return tv::publish(EFBIG);
    }
    const int32_t len = 4 * words + TV_CHKSUM_LEN;
    const uint32_t sum = tv::set_checksum(std::span(msg).first(static_cast<std::size_t>(len)));
    if (checksum_flag != nullptr && std::strcmp(checksum_flag, "+C") == 0)
        tv::wire::put_be32(msg, static_cast<size_t>(len - TV_CHKSUM_LEN), sum + 1);
    if (length_flag != nullptr && std::strcmp(length_flag, "+L") == 0)
        tv::wire::put_be16(msg, tv::off::length,
                           static_cast<std::uint16_t>(tv::wire::get_be16(msg, tv::off::length) + 1));

    if (tv::send_datagram(ctx, std::span(msg).first(static_cast<std::size_t>(len))) == -1)
        return tv::publish(TV_ERR_SEND);
    // The answer comes from where the message went; its content is the caller's to judge (a
    // raw message may well provoke a malformed answer), so nothing more is asked of it.
    static constexpr tv::listen_rules answer_from_switch{true, false, -1};
    return tv::publish(tv::listen_message(ctx, {static_cast<std::uint8_t*>(resp), TV_MAX_MSG_LEN},
                                          listen_ms, &answer_from_switch));
}
