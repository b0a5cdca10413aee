// Login, logout and user accounts. The answer's result byte (offset 21): 0 success, 6 user id
// or password refused, other values other failures (1 not permitted, 2 bad admin level,
// 3 account table full, 4 the last administrator cannot be deleted).
#include <algorithm>
#include <array>

#include "handlers.h"
#include "utilmsg.h"

namespace sim {

namespace {

namespace w = tv::wire;

constexpr std::uint8_t result_ok = 0;
constexpr std::uint8_t result_not_permitted = 1;
constexpr std::uint8_t result_bad_level = 2;
constexpr std::uint8_t result_table_full = 3;
constexpr std::uint8_t result_last_admin = 4;
constexpr std::uint8_t result_refused = 6;
constexpr std::size_t max_users = 16;
constexpr std::uint8_t admin_level = 3;

// An 8-byte text field, terminated or not.
std::string text8(const request_ctx& c, std::size_t off) {
    std::string t;
    for (std::size_t i = 0; i < 8; ++i) {
        const char ch = static_cast<char>(w::get_u8(c.req, off + i));
        if (ch == '\0') break;
        t.push_back(ch);
    }
    return t;
}

void result(tv::wire::bytes m, std::uint8_t r) { w::put_u8(m, 21, r); }

// Managing accounts needs an administrator's session where logins are required.
bool may_manage_accounts(request_ctx& c) {
    const auto& s = c.self();
    if (!s.login_required) return true;
    const auto it = s.sessions.find(c.session());
    if (it == s.sessions.end()) return false;
    const user* u = s.find_user(it->second);
    return u != nullptr && u->level >= admin_level;
}

void login(request_ctx& c) {
    auto m = c.reply(28);
    auto& s = c.self();
    const user* u = s.find_user(text8(c, 28));
    if (u == nullptr || u->password != text8(c, 36)) {
        result(m, result_refused);
        return;
    }
    s.sessions[c.session()] = u->id;
    result(m, result_ok);
}

void logout(request_ctx& c) {
    c.reply(48);
    c.self().sessions.erase(c.session());
}

void change_password(request_ctx& c) {
    c.reply(24);  // no room for a result byte: the manager does not read one
    auto& s = c.self();
    const std::string id = text8(c, 28);
    for (auto& u : s.users)
        if (u.id == id && u.password == text8(c, 20)) u.password = text8(c, 36);
}

void add_user(request_ctx& c) {
    auto m = c.reply(828);
    auto& s = c.self();
    const std::string id = text8(c, 24);
    const std::uint8_t level = w::get_u8(c.req, 40);
    if (!may_manage_accounts(c)) return result(m, result_not_permitted);
    if (id.empty() || s.find_user(id) != nullptr) return result(m, result_refused);
    if (level < 1 || level > admin_level) return result(m, result_bad_level);
    if (s.users.size() >= max_users) return result(m, result_table_full);
    s.users.push_back({id, text8(c, 32), level});
    result(m, result_ok);
}

void delete_user(request_ctx& c) {
    auto m = c.reply(828);
    auto& s = c.self();
    const std::string id = text8(c, 24);
    if (!may_manage_accounts(c)) return result(m, result_not_permitted);
    const auto it = std::find_if(s.users.begin(), s.users.end(),
                                 [&](const user& u) { return u.id == id; });
    if (it == s.users.end()) return result(m, result_refused);
    const auto admins = std::count_if(s.users.begin(), s.users.end(),
                                      [](const user& u) { return u.level >= admin_level; });
    if (it->level >= admin_level && admins == 1) return result(m, result_last_admin);
    s.users.erase(it);
    std::erase_if(s.sessions, [&](const auto& kv) { return kv.second == id; });
    result(m, result_ok);
}

constexpr std::array<handler_entry, 5> table{{
    {TV_CMD_CONFIG, 0x502, login, false, "login"},
    {TV_CMD_CONFIG, 0x503, logout, false, "logout"},
    {TV_CMD_CONFIG, 0x504, change_password, true, "change password"},
    {TV_CMD_CONFIG, 0x506, add_user, true, "add user"},
    {TV_CMD_CONFIG, 0x507, delete_user, true, "delete user"},
}};

}  // namespace

std::span<const handler_entry> login_handlers() { return table; }

}  // namespace sim
