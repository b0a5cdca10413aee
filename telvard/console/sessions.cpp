// Sessions and failed logins (see sessions.h).
#include "telvard/console/sessions.h"

#include <sys/random.h>

#include <algorithm>
#include <stdexcept>
#include <vector>

namespace telvard::console {

bool same_secret(std::string_view a, std::string_view b) {
    // Every byte of the longer is looked at; the lengths' difference is folded in.
    const std::size_t n = std::max(a.size(), b.size());
    unsigned char diff = a.size() == b.size() ? 0 : 1;
    for (std::size_t i = 0; i < n; ++i) {
        const unsigned char x = i < a.size() ? static_cast<unsigned char>(a[i]) : 0;
        const unsigned char y = i < b.size() ? static_cast<unsigned char>(b[i]) : 0;
        diff = static_cast<unsigned char>(diff | (x ^ y));
    }
    return diff == 0;
}

std::string random_hex(std::size_t bytes) {
    std::vector<unsigned char> raw(bytes);
    std::size_t got = 0;
    while (got < bytes) {
        const ssize_t n = getrandom(raw.data() + got, bytes - got, 0);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) throw std::runtime_error("no random bytes from the kernel");
        got += static_cast<std::size_t>(n);
    }
    static constexpr char digits[] = "0123456789abcdef";
    std::string out;
    for (const unsigned char c : raw) {
        out += digits[c >> 4];
        out += digits[c & 15];
    }
    return out;
}

std::pair<std::string, sessions::session> sessions::open(role grants, clock::time_point now) {
    session s{grants, random_hex(16), now + life_};
    std::string id = random_hex(32);
    const std::lock_guard<std::mutex> lock(mutex_);
    forget_ended(now);
    // A flood of logins cannot grow the table without end: the session nearest its end goes.
    if (open_.size() >= most_) {
        const auto first = std::ranges::min_element(open_, {}, [](const auto& e) { return e.second.ends; });
        open_.erase(first);
    }
    open_.emplace(id, s);
    return {std::move(id), std::move(s)};
}

std::optional<sessions::session> sessions::find(std::string_view id, clock::time_point now) {
    const std::lock_guard<std::mutex> lock(mutex_);
    const auto it = open_.find(id);
    if (it == open_.end()) return std::nullopt;
    if (it->second.ends <= now) {
        open_.erase(it);
        return std::nullopt;
    }
    return it->second;
}

void sessions::close(std::string_view id) {
    const std::lock_guard<std::mutex> lock(mutex_);
    if (const auto it = open_.find(id); it != open_.end()) open_.erase(it);
}

void sessions::forget_ended(clock::time_point now) {
    std::erase_if(open_, [now](const auto& e) { return e.second.ends <= now; });
}

long login_limit::wait_s(const std::string& address, clock::time_point now) {
    const std::lock_guard<std::mutex> lock(mutex_);
    const auto it = failures_.find(address);
    if (it == failures_.end()) return 0;
    std::erase_if(it->second, [&](clock::time_point t) { return t + window_ <= now; });
    if (it->second.empty()) {
        failures_.erase(it);
        return 0;
    }
    if (it->second.size() < most_) return 0;
    const auto left = std::chrono::ceil<std::chrono::seconds>(it->second.front() + window_ - now).count();
    return std::max<long>(1, static_cast<long>(left));
}

void login_limit::failed(const std::string& address, clock::time_point now) {
    const std::lock_guard<std::mutex> lock(mutex_);
    auto& times = failures_[address];
    times.push_back(now);
    // Only the last `most_` matter for the wait.
    if (times.size() > most_) times.erase(times.begin(), times.end() - most_);
    // Addresses whose failures are all old are dropped now and then, so the table stays small.
    if (failures_.size() > 10000)
        std::erase_if(failures_, [&](const auto& e) { return e.second.empty() || e.second.back() + window_ <= now; });
}

}  // namespace telvard::console
