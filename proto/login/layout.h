// Messages of login and user accounts: configuration sub-commands with 8-byte text fields
// (zero-padded, unterminated at full length) and, in the answers to login, add and delete, a
// result byte. Offsets are from the start of the message; shared by the operations, the
// simulator's handlers and the fuzz harness.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tv::layout::login {

namespace subcmd {
inline constexpr std::uint32_t login = 0x502;
inline constexpr std::uint32_t logout = 0x503;
inline constexpr std::uint32_t change_password = 0x504;
inline constexpr std::uint32_t add_user = 0x506;
inline constexpr std::uint32_t delete_user = 0x507;
}  // namespace subcmd

inline constexpr std::size_t text_len = 8;
inline constexpr std::size_t result_at = 21;

// Result bytes: 0 success, 6 user id or password refused, anything else a failure.
inline constexpr std::uint8_t result_ok = 0;
inline constexpr std::uint8_t result_refused = 6;

namespace login_msg {
inline constexpr std::size_t req_len = 48, ret_len = 28;
inline constexpr std::size_t user = 28, password = 36;
}  // namespace login_msg

namespace logout_msg {
inline constexpr std::size_t req_len = 48, ret_len = 48;
}

namespace password_msg {
inline constexpr std::size_t req_len = 48, ret_len = 24;
inline constexpr std::size_t old_password = 20, user = 28, new_password = 36;
}  // namespace password_msg

// Adding and deleting a user: 828 bytes both ways.
namespace account_msg {
inline constexpr std::size_t len = 828;
inline constexpr std::size_t flag = 20, user = 24, password = 32, level = 40;
}  // namespace account_msg

}  // namespace tv::layout::login
