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

#include "proto/login/layout.h"
#include "tv_api/tv_inter.h"

namespace {

namespace L = tv::layout::login;
constexpr std::size_t text_len = L::text_len;
constexpr double login_lifetime_s = 32400.0;  // 9 hours

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
    if (result == L::result_ok) return TV_OK;
    return result == L::result_refused ? TV_ERR_USER_PW : TV_ERR_SWITCH;
}

// Exchanges an add or delete request for the 828-byte answer and maps its result byte.
int32_t account_exchange(tv_context* ctx, tv::wire::bytes req) {
    std::array<std::uint8_t, L::account_msg::len> resp;
    if (const tv::exchanged x = tv::exchange(ctx, req, resp); !x.ok()) return x.status;
    return account_status(tv::wire::get_u8(resp, L::result_at));
}

int32_t login(tv_context* ctx, const char* user_id, const char* password) {
    if (user_id != nullptr || password != nullptr) {
        if (user_id == nullptr) return TV_ERR_USER_PW;
        store(ctx->user_id, check_text(user_id).text);
        // The user id stays stored even when the password is missing.
        if (password == nullptr) return TV_ERR_USER_PW;
        store(ctx->password, check_text(password).text);
    }
    if (!ctx->login_required) {
        ctx->last_activity = now();
        return TV_OK;
    }

    std::array<std::uint8_t, L::login_msg::req_len> req;
    std::array<std::uint8_t, L::login_msg::ret_len> resp;
    tv::build_config_request(ctx, req, L::subcmd::login);
    tv::wire::put_text(req, L::login_msg::user, text_len, field_text(ctx->user_id));
    tv::wire::put_text(req, L::login_msg::password, text_len, field_text(ctx->password));
    if (const tv::exchanged x = tv::exchange(ctx, req, resp); !x.ok()) return x.status;
    switch (tv::wire::get_u8(resp, L::result_at)) {
        case L::result_ok: ctx->last_activity = now(); return TV_OK;
        case L::result_refused: return TV_ERR_USER_PW;
        default: return TV_ERR_LOGIN;
    }
}

int32_t logout(tv_context* ctx) {
    if (!ctx->login_required) return TV_OK;
    std::array<std::uint8_t, L::logout_msg::req_len> req;
    std::array<std::uint8_t, L::logout_msg::ret_len> resp;
    tv::build_config_request(ctx, req, L::subcmd::logout);
    const tv::exchanged x = tv::exchange(ctx, req, resp);
    ctx->last_activity = 0;  // logged out whatever the switch said
    return x.status;
}

int32_t set_curr_user_pw(tv_context* ctx, const char* old_password, const char* new_password) {
    const checked_text fresh = check_text(new_password);
    if (old_password == nullptr || std::strncmp(old_password, ctx->password, text_len) != 0 ||
        !fresh.fits)
        return TV_ERR_USER_PW;

    namespace M = L::password_msg;
    std::array<std::uint8_t, M::req_len> req;
    std::array<std::uint8_t, M::ret_len> resp;
    tv::build_config_request(ctx, req, L::subcmd::change_password);
    tv::wire::put_text(req, M::old_password, text_len, {old_password, strnlen(old_password, text_len)});
    tv::wire::put_text(req, M::user, text_len, field_text(ctx->user_id));
    tv::wire::put_text(req, M::new_password, text_len, fresh.text);
    const tv::exchanged x = tv::exchange(ctx, req, resp);
    if (x.ok()) store(ctx->password, fresh.text);
    return x.status;
}

int32_t user_add(tv_context* ctx, const char* user_id, const char* password, uint8_t admin_level) {
    const checked_text user = check_text(user_id);
    const checked_text pw = check_text(password);
    if (!user.fits || !pw.fits) return TV_ERR_USER_PW;

    // Admin levels go to the switch unchanged; its result byte decides.
    namespace M = L::account_msg;
    std::array<std::uint8_t, M::len> req;
    tv::build_config_request(ctx, req, L::subcmd::add_user);
    tv::wire::put_u8(req, M::flag, 1);
    tv::wire::put_text(req, M::user, text_len, user.text);
    tv::wire::put_text(req, M::password, text_len, pw.text);
    tv::wire::put_u8(req, M::level, admin_level);
    return account_exchange(ctx, req);
}

int32_t user_delete(tv_context* ctx, const char* user_id) {
    const checked_text user = check_text(user_id);
    // The account this context is logged in with cannot be deleted through it.
    if (!user.fits || std::strncmp(user_id, ctx->user_id, text_len) == 0) return TV_ERR_USER_PW;

    namespace M = L::account_msg;
    std::array<std::uint8_t, M::len> req;
    tv::build_config_request(ctx, req, L::subcmd::delete_user);
    tv::wire::put_u8(req, M::flag, 1);
    tv::wire::put_text(req, M::user, text_len, user.text);
    return account_exchange(ctx, req);
}

}  // namespace

extern "C" {

int32_t tv_login(tv_context* ctx, const char* user_id, const char* password) {
    if (ctx == nullptr) return tv::publish(TV_ERR_PARAM);
    return tv::publish(login(ctx, user_id, password));
}

int32_t tv_logout(tv_context* ctx) {
    if (ctx == nullptr) return tv::publish(TV_ERR_PARAM);
    return tv::publish(logout(ctx));
}

int32_t tv_logintimedout(tv_context* ctx) {
    if (ctx == nullptr || !ctx->login_required) return 0;
    const double idle =
        std::difftime(std::time(nullptr), static_cast<std::time_t>(ctx->last_activity));
    return idle > login_lifetime_s ? 1 : 0;
}

int32_t tv_set_curr_user_pw(tv_context* ctx, const char* old_password, const char* new_password) {
    if (ctx == nullptr) return tv::publish(TV_ERR_PARAM);
    return tv::publish(set_curr_user_pw(ctx, old_password, new_password));
}

int32_t tv_user_add(tv_context* ctx, const char* user_id, const char* password,
                    uint8_t admin_level) {
    if (ctx == nullptr) return tv::publish(TV_ERR_PARAM);
    return tv::publish(user_add(ctx, user_id, password, admin_level));
}

int32_t tv_user_delete(tv_context* ctx, const char* user_id) {
    if (ctx == nullptr) return tv::publish(TV_ERR_PARAM);
    return tv::publish(user_delete(ctx, user_id));
}

}  // extern "C"
