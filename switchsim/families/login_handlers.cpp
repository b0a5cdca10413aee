// Login, logout and user accounts. The answer's result byte (offset 21): 0 success, 6 user id
// or password refused, other values other failures (1 not permitted, 2 bad admin level,
// 3 account table full, 4 the last administrator cannot be deleted).
#include <algorithm>
#include <array>

#include "proto/login/layout.h"
#include "switchsim/core/fabric_fields.h"
#include "switchsim/core/handlers.h"
#include "telvar/utilmsg.h"

namespace sim {

namespace {

namespace w = tv::wire;
namespace L = tv::layout::login;

constexpr std::uint8_t result_ok = L::result_ok;
constexpr std::uint8_t result_not_permitted = 1;
constexpr std::uint8_t result_bad_level = 2;
constexpr std::uint8_t result_table_full = 3;
constexpr std::uint8_t result_last_admin = 4;
constexpr std::uint8_t result_refused = L::result_refused;
constexpr std::size_t max_users = 16;
constexpr std::uint8_t admin_level = 3;

// An 8-byte text field, terminated or not.
std::string text8(const request_ctx& c, std::size_t off) {
    std::string t;
    for (std::size_t i = 0; i < L::text_len; ++i) {
        const char ch = static_cast<char>(w::get_u8(c.req, off + i));
        if (ch == '\0') break;
        t.push_back(ch);
    }
    return t;
}

void result(tv::wire::bytes m, std::uint8_t r) { w::put_u8(m, L::result_at, r); }

// Managing accounts needs an administrator's session where logins are required.
bool may_manage_accounts(request_ctx& c) {
    const auto& s = c.state<login_state>();
    if (!s.login_required) return true;
    const auto it = s.sessions.find(c.session());
    if (it == s.sessions.end()) return false;
    const user* u = s.find_user(it->second.user);
    return u != nullptr && u->level >= admin_level;
}

void login(request_ctx& c) {
    auto m = c.reply(L::login_msg::ret_len);
    auto& s = c.state<login_state>();
    const user* u = s.find_user(text8(c, L::login_msg::user));
    if (u == nullptr || u->password != text8(c, L::login_msg::password)) {
        result(m, result_refused);
        return;
    }
    s.sessions[c.session()] = {u->id, std::chrono::steady_clock::now()};
    result(m, result_ok);
}

void logout(request_ctx& c) {
    c.reply(L::logout_msg::ret_len);
    c.state<login_state>().sessions.erase(c.session());
}

void change_password(request_ctx& c) {
    namespace M = L::password_msg;
    c.reply(M::ret_len);  // no room for a result byte: the manager does not read one
    const std::string id = text8(c, M::user);
    for (auto& u : c.state<login_state>().users)
        if (u.id == id && u.password == text8(c, M::old_password)) u.password = text8(c, M::new_password);
}

void add_user(request_ctx& c) {
    namespace M = L::account_msg;
    auto m = c.reply(M::len);
    auto& s = c.state<login_state>();
    const std::string id = text8(c, M::user);
    const std::uint8_t level = w::get_u8(c.req, M::level);
    if (!may_manage_accounts(c)) return result(m, result_not_permitted);
    if (id.empty() || s.find_user(id) != nullptr) return result(m, result_refused);
    if (level < 1 || level > admin_level) return result(m, result_bad_level);
    if (s.users.size() >= max_users) return result(m, result_table_full);
    s.users.push_back({id, text8(c, M::password), level});
    result(m, result_ok);
}

void delete_user(request_ctx& c) {
    namespace M = L::account_msg;
    auto m = c.reply(M::len);
    auto& s = c.state<login_state>();
    const std::string id = text8(c, M::user);
    if (!may_manage_accounts(c)) return result(m, result_not_permitted);
    const auto it = std::find_if(s.users.begin(), s.users.end(),
                                 [&](const user& u) { return u.id == id; });
    if (it == s.users.end()) return result(m, result_refused);
    const auto admins = std::count_if(s.users.begin(), s.users.end(),
                                      [](const user& u) { return u.level >= admin_level; });
    if (it->level >= admin_level && admins == 1) return result(m, result_last_admin);
    s.users.erase(it);
    std::erase_if(s.sessions, [&](const auto& kv) { return kv.second.user == id; });
    result(m, result_ok);
}

constexpr std::array<handler_entry, 5> table{{
    {TV_CMD_CONFIG, L::subcmd::login, login, false, "login"},
    {TV_CMD_CONFIG, L::subcmd::logout, logout, false, "logout"},
    {TV_CMD_CONFIG, L::subcmd::change_password, change_password, true, "change password"},
    {TV_CMD_CONFIG, L::subcmd::add_user, add_user, true, "add user"},
    {TV_CMD_CONFIG, L::subcmd::delete_user, delete_user, true, "delete user"},
}};

constexpr std::array<std::string_view, 3> keys{"login_required", "login_expiry", "users"};

void seed(switch_state& s) { s.get<login_state>().users = {{"admin", "password", admin_level}}; }

void read(const fields& j, switch_state& s) {
    auto& st = s.get<login_state>();
    j.boolean("login_required", st.login_required);
    if (j.has("login_expiry"))
        st.expiry = std::chrono::seconds(j.at("login_expiry").as_number(365 * 24 * 3600));
    if (!j.has("users")) return;
    st.users.clear();
    j.at("users").each([&](const fields& u, std::size_t) {
        static constexpr std::array<std::string_view, 3> user_keys{"id", "password", "level"};
        u.expect_object(user_keys);
        user next;
        next.id = u.at("id").as_text(L::text_len);
        if (next.id.empty()) u.at("id").fail("a user id has 1 to 8 characters");
        u.text("password", next.password, L::text_len);
        u.number("level", next.level, admin_level);
        if (next.level == 0) u.at("level").fail("levels run from 1 to 3");
        if (st.find_user(next.id) != nullptr) u.at("id").fail("'" + next.id + "' is used twice");
        if (st.users.size() == max_users)
            u.fail("a switch has at most " + std::to_string(max_users) + " users");
        st.users.push_back(next);
    });
}

// A reset ends every session.
void end_sessions(switch_state& s) { s.get<login_state>().sessions.clear(); }

}  // namespace

bool login_state::session_active(std::uint64_t key) {
    const auto it = sessions.find(key);
    if (it == sessions.end()) return false;
    const auto now = std::chrono::steady_clock::now();
    if (now - it->second.last_request > expiry) {
        sessions.erase(it);
        return false;
    }
    it->second.last_request = now;
    return true;
}

const user* login_state::find_user(const std::string& id) const {
    for (const auto& u : users)
        if (u.id == id) return &u;
    return nullptr;
}

const family_info& login_family::info() {
    static const family_info f{.name = "login",
                               .handlers = table,
                               .switch_keys = keys,
                               .read_switch = read,
                               .seed = seed,
                               .on_reset = end_sessions};
    return f;
}

}  // namespace sim
