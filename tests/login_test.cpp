// Login and user accounts against a scripted switch: the 8-byte text fields on the wire, the
// result byte's mapping, what the context keeps, and arguments refused before anything is sent.
#include <cstring>
#include <ctime>
#include <string>

#include "support/switch_test.h"
#include "support/test_addresses.h"

namespace {

using tvtest::bytes;
using tvtest::reply;

class login : public tvtest::switch_test {
protected:
    login() : switch_test(tvtest::addr::login_switch) {}
    void SetUp() override {
        switch_test::SetUp();
        ctx->login_required = 1;
    }
    std::string user() const { return {ctx->user_id, strnlen(ctx->user_id, 8)}; }
    std::string password() const { return {ctx->password, strnlen(ctx->password, 8)}; }
    static std::uint32_t now() { return static_cast<std::uint32_t>(std::time(nullptr)); }
};

TEST_F(login, login_sends_the_credentials_and_maps_the_result_byte) {
    sw.script({reply(28).u8(21, 0), reply(28).u8(21, 6), reply(28).u8(21, 3),
               tvtest::refused(0x0E)});
    ASSERT_EQ(0, tv_login(ctx, "operator", "pw"));
    EXPECT_GE(ctx->last_activity, now() - 1);
    const bytes req = request(0);
    EXPECT_EQ(48u, req.size());
    EXPECT_EQ(0x502u, tv::wire::get_be32(req, 16));
    EXPECT_EQ("operator", text_at(req, 28, 8));  // 8 characters: no terminator
    EXPECT_EQ(std::string("pw\0\0\0\0\0\0", 8), text_at(req, 36, 8));
    EXPECT_EQ(0, at(req, 44));

    EXPECT_EQ(400, tv_login(ctx, nullptr, nullptr));
    EXPECT_EQ("operator", text_at(request(1), 28, 8));  // the stored credentials
    EXPECT_EQ(401, tv_login(ctx, nullptr, nullptr));
    ctx->last_activity = 5;
    EXPECT_EQ(202, tv_login(ctx, nullptr, nullptr));
    EXPECT_EQ(5u, ctx->last_activity);
}

TEST_F(login, missing_credentials_and_switches_without_login) {
    EXPECT_EQ(400, tv_login(ctx, "newuser", nullptr));
    EXPECT_EQ("newuser", user());  // kept although the login failed
    EXPECT_EQ(400, tv_login(ctx, nullptr, "pw"));
    EXPECT_EQ(0u, sw.count());

    ctx->login_required = 0;
    ctx->last_activity = 0;
    EXPECT_EQ(0, tv_login(ctx, "longer_than_8", "secret"));
    EXPECT_EQ("longer_t", user());
    EXPECT_EQ("secret", password());
    EXPECT_GE(ctx->last_activity, now() - 1);
    EXPECT_EQ(0, tv_logout(ctx));
    EXPECT_EQ(0u, sw.count());
}

TEST_F(login, logout_forgets_the_login_whatever_the_answer) {
    std::memcpy(ctx->user_id, "admin", 5);
    sw.script({tvtest::refused(0x01)});
    ctx->last_activity = 1234;
    EXPECT_EQ(201, tv_logout(ctx));
    EXPECT_EQ(0u, ctx->last_activity);
    EXPECT_EQ("admin", user());
    const bytes req = request(0);
    EXPECT_EQ(48u, req.size());
    EXPECT_EQ(0x503u, tv::wire::get_be32(req, 16));
    EXPECT_EQ(bytes(24, 0), bytes(req.begin() + 20, req.begin() + 44));  // no credentials
}

TEST_F(login, login_expires_nine_hours_after_the_last_good_exchange) {
    ctx->last_activity = now() - 32399;
    EXPECT_EQ(0, tv_logintimedout(ctx));
    ctx->last_activity = now() - 32402;
    EXPECT_EQ(1, tv_logintimedout(ctx));
    ctx->login_required = 0;
    ctx->last_activity = 0;
    EXPECT_EQ(0, tv_logintimedout(ctx));
    EXPECT_EQ(0u, sw.count());
}

TEST_F(login, password_change_and_user_delete_check_their_arguments_first) {
    std::memcpy(ctx->user_id, "admin", 5);
    std::memcpy(ctx->password, "oldpass1", 8);  // unterminated
    EXPECT_EQ(400, tv_set_curr_user_pw(ctx, "wrong", "newpass"));
    EXPECT_EQ(400, tv_set_curr_user_pw(ctx, "oldpass1", "ninechars"));
    EXPECT_EQ(400, tv_set_curr_user_pw(ctx, nullptr, "newpass"));
    EXPECT_EQ(0u, sw.count());

    sw.script({tvtest::refused()});
    EXPECT_EQ(200, tv_set_curr_user_pw(ctx, "oldpass1", "newpass"));
    EXPECT_EQ("oldpass1", password());  // kept when the switch refused

    std::memcpy(ctx->user_id, "eightchr", 8);  // nobody deletes the account they are using
    EXPECT_EQ(400, tv_user_delete(ctx, "eightchr"));
    EXPECT_EQ(400, tv_user_delete(ctx, "ninechars"));
    EXPECT_EQ(1u, sw.count());
}

TEST_F(login, user_add_sends_eight_character_fields_and_the_level_unchanged) {
    EXPECT_EQ(400, tv_user_add(ctx, "ninechars", "pw", 1));
    EXPECT_EQ(400, tv_user_add(ctx, "user", "ninechars", 1));
    EXPECT_EQ(400, tv_user_add(ctx, nullptr, "pw", 1));
    EXPECT_EQ(0u, sw.count());

    sw.script({reply(828).u8(21, 0), reply(828).u8(21, 6), reply(828).u8(21, 9)});
    EXPECT_EQ(0, tv_user_add(ctx, "eightchr", "12345678", 7));
    EXPECT_EQ(400, tv_user_add(ctx, "eightchr", "pw", 1));
    EXPECT_EQ(200, tv_user_add(ctx, "eightchr", "pw", 1));

    const bytes req = request(0);
    EXPECT_EQ(828u, req.size());
    EXPECT_EQ(0x506u, tv::wire::get_be32(req, 16));
    EXPECT_EQ(1, at(req, 20));
    EXPECT_EQ("eightchr", text_at(req, 24, 8));
    EXPECT_EQ("12345678", text_at(req, 32, 8));
    EXPECT_EQ(7, at(req, 40));
    EXPECT_EQ(0, at(req, 41));
}

}  // namespace
