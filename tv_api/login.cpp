// Login and user accounts: logging in and out, the login expiry test, changing the current
// user's password, adding and deleting users on the switch.
//
// Credentials are 8-character fields, zero-padded and unterminated at full length, in the
// context and on the wire alike; every text is measured with a bound so that an unterminated
// field is never read past its 8 bytes. A context whose switch needs no login never exchanges
// login or logout messages. Arguments are checked before anything is sent.
#include <algorithm>
#include <array>
#include <cstring>
#include <ctime>
#include <string_view>

#include "tv_inter.h"

namespace {

namespace subcmd {
constexpr std::uint32_t login = 0x502;
constexpr std::uint32_t logout = 0x503;
constexpr std::uint32_t change_password = 0x504;
constexpr std::uint32_t add_user = 0x506;
constexpr std::uint32_t delete_user = 0x507;
}  // namespace subcmd

constexpr std::size_t text_len = 8;
constexpr std::size_t result_at = 21;
constexpr std::size_t account_msg_len = 828;  // add and delete user, both ways
constexpr double login_lifetime_s = 32400.0;  // 9 hours

// Result bytes of the login and account answers.
constexpr std::uint8_t result_ok = 0;
constexpr std::uint8_t result_refused = 6;  // user id or password not accepted

namespace login_at {
constexpr std::size_t user = 28, password = 36;
}
namespace password_at {
constexpr std::size_t old_password = 20, user = 28, new_password = 36;
}
namespace account_at {
constexpr std::size_t flag = 20, user = 24, password = 32, level = 40;
}

// A credential as the context keeps it: at most 8 characters.
std::string_view field_text(const char (&field)[text_len]) {
    return {field, strnlen(field, text_len)};
}

// A caller's text, measured no further than one character past a field; `fits` is false when
// the text is missing or longer than a field.
struct checked_text {
    std::string_view text;
    bool fits;
};
checked_text check_text(const char* text) {
    if (text == nullptr) return {{}, false};
    const std::size_t n = strnlen(text, text_len + 1);
    return {{text, n}, n <= text_len};
}

void store(char (&field)[text_len], std::string_view text) {
    std::memset(field, 0, text_len);
    std::memcpy(field, text.data(), std::min(text.size(), text_len));
}

uint32_t now() { return static_cast<uint32_t>(std::time(nullptr)); }

// The status for an account answer's result byte.
int32_t account_status(std::uint8_t result) {
    if (result == result_ok) return TV_OK;
    return result == result_refused ? TV_ERR_USER_PW : TV_ERR_SWITCH;
}

// Exchanges an add or delete request for the 828-byte answer and maps its result byte.
int32_t account_exchange(tv_context* ctx, tv::wire::bytes req) {
    std::array<std::uint8_t, account_msg_len> resp;
    if (tv::exchange(ctx, req, resp) <= 0) return tv_api_errno;
    return tv::fail(account_status(tv::wire::get_u8(resp, result_at)));
}

}  // namespace

extern "C" {

int32_t tv_login(tv_context* ctx, const char* user_id, const char* password) {
    if (ctx == nullptr) return tv::fail(TV_ERR_PARAM);
    if (user_id != nullptr || password != nullptr) {
        if (user_id == nullptr) return tv::fail(TV_ERR_USER_PW);
        store(ctx->user_id, check_text(user_id).text);
        // The user id stays stored even when the password is missing.
        if (password == nullptr) return tv::fail(TV_ERR_USER_PW);
        store(ctx->password, check_text(password).text);
    }
    if (!ctx->login_required) {
        ctx->last_activity = now();
        return tv::fail(TV_OK);
    }

    std::array<std::uint8_t, 48> req;
    std::array<std::uint8_t, 28> resp;
    tv::build_config_request(ctx, req, subcmd::login);
    tv::wire::put_text(req, login_at::user, text_len, field_text(ctx->user_id));
    tv::wire::put_text(req, login_at::password, text_len, field_text(ctx->password));
    if (tv::exchange(ctx, req, resp) <= 0) return tv_api_errno;
    switch (tv::wire::get_u8(resp, result_at)) {
        case result_ok: ctx->last_activity = now(); return tv::fail(TV_OK);
        case result_refused: return tv::fail(TV_ERR_USER_PW);
        default: return tv::fail(TV_ERR_LOGIN);
    }
}

int32_t tv_logout(tv_context* ctx) {
    if (ctx == nullptr) return tv::fail(TV_ERR_PARAM);
    if (!ctx->login_required) return tv::fail(TV_OK);
    std::array<std::uint8_t, 48> req;
    std::array<std::uint8_t, 48> resp;
    tv::build_config_request(ctx, req, subcmd::logout);
    tv::exchange(ctx, req, resp);
    ctx->last_activity = 0;  // logged out whatever the switch said
    return tv_api_errno;
}

int32_t tv_logintimedout(tv_context* ctx) {
    if (ctx == nullptr || !ctx->login_required) return 0;
    const double idle =
        std::difftime(std::time(nullptr), static_cast<std::time_t>(ctx->last_activity));
    return idle > login_lifetime_s ? 1 : 0;
}

int32_t tv_set_curr_user_pw(tv_context* ctx, const char* old_password, const char* new_password) {
    if (ctx == nullptr) return tv::fail(TV_ERR_PARAM);
    const checked_text fresh = check_text(new_password);
    if (old_password == nullptr || std::strncmp(old_password, ctx->password, text_len) != 0 ||
        !fresh.fits)
        return tv::fail(TV_ERR_USER_PW);

    std::array<std::uint8_t, 48> req;
    std::array<std::uint8_t, 24> resp;
    tv::build_config_request(ctx, req, subcmd::change_password);
    tv::wire::put_text(req, password_at::old_password, text_len,
                       {old_password, strnlen(old_password, text_len)});
    tv::wire::put_text(req, password_at::user, text_len, field_text(ctx->user_id));
    tv::wire::put_text(req, password_at::new_password, text_len, fresh.text);
    tv::exchange(ctx, req, resp);
    if (tv_api_errno == TV_OK) store(ctx->password, fresh.text);
    return tv_api_errno;
}

int32_t tv_user_add(tv_context* ctx, const char* user_id, const char* password,
                    uint8_t admin_level) {
    const checked_text user = check_text(user_id);
    const checked_text pw = check_text(password);
    if (!user.fits || !pw.fits) return tv::fail(TV_ERR_USER_PW);

    // Admin levels go to the switch unchanged; its result byte decides.
    std::array<std::uint8_t, account_msg_len> req;
    tv::build_config_request(ctx, req, subcmd::add_user);
    tv::wire::put_u8(req, account_at::flag, 1);
    tv::wire::put_text(req, account_at::user, text_len, user.text);
    tv::wire::put_text(req, account_at::password, text_len, pw.text);
    tv::wire::put_u8(req, account_at::level, admin_level);
    return account_exchange(ctx, req);
}

int32_t tv_user_delete(tv_context* ctx, const char* user_id) {
    if (ctx == nullptr) return tv::fail(TV_ERR_PARAM);
    const checked_text user = check_text(user_id);
    // The account this context is logged in with cannot be deleted through it.
    if (!user.fits || std::strncmp(user_id, ctx->user_id, text_len) == 0)
        return tv::fail(TV_ERR_USER_PW);

    std::array<std::uint8_t, account_msg_len> req;
    tv::build_config_request(ctx, req, subcmd::delete_user);
    tv::wire::put_u8(req, account_at::flag, 1);
    tv::wire::put_text(req, account_at::user, text_len, user.text);
    return account_exchange(ctx, req);
}

}  // extern "C"
