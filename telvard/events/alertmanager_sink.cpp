// The Alertmanager sink (see alertmanager_sink.h).
#include "telvard/events/alertmanager_sink.h"

#include <curl/curl.h>

#include <cctype>
#include <memory>
#include <nlohmann/json.hpp>
#include <stdexcept>

#include "telvar/traps.h"
#include "telvard/events/trap_text.h"

namespace telvar::events {

namespace {

struct curl_cleanup {
    void operator()(CURL* c) const { curl_easy_cleanup(c); }
};
struct headers_cleanup {
    void operator()(curl_slist* l) const { curl_slist_free_all(l); }
};

bool starts_with_nocase(const std::string& s, std::string_view prefix) {
    if (s.size() < prefix.size()) return false;
    for (std::size_t i = 0; i < prefix.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(s[i])) != prefix[i]) return false;
    return true;
}

std::size_t discard(char*, std::size_t size, std::size_t n, void*) { return size * n; }

}  // namespace

std::string alert_document(const history::event_row& e, std::chrono::milliseconds hold) {
    const bool rising = e.alert == TV_TRAP_RISING;
    const nlohmann::json alert = {
        {"labels",
         {{"alertname", "FabricTrap"},
          {"fabric", sanitized(e.fabric)},
          {"switch", sanitized(e.sw.wwn)},
          {"chassis", std::to_string(e.sw.chassis)},
          {"code", std::to_string(e.code)},
          {"unit", std::to_string(e.unit)},
          {"alert", alert_name(e.alert)},
          {"severity", rising ? "warning" : "info"}}},
        {"annotations", {{"summary", trap_line(e)}, {"description", sanitized(e.description)}}},
        {"startsAt", rfc3339(e.at)},
        {"endsAt", rfc3339(e.at + hold.count())},
    };
    return nlohmann::json::array({alert}).dump();
}

alertmanager_sink::alertmanager_sink(alertmanager_options o) : o_(std::move(o)) {
    if (!starts_with_nocase(o_.url, "http://") && !starts_with_nocase(o_.url, "https://"))
        throw std::invalid_argument("Alertmanager URL must begin with http:// or https://: " + sanitized(o_.url));
    if (sanitized(o_.url) != o_.url || o_.url.find(' ') != std::string::npos)
        throw std::invalid_argument("Alertmanager URL holds characters a URL cannot: " + sanitized(o_.url));
    endpoint_ = o_.url;
    while (!endpoint_.empty() && endpoint_.back() == '/') endpoint_.pop_back();
    endpoint_ += "/api/v2/alerts";
    // Once per process, before any thread uses libcurl.
    static const CURLcode initialised = curl_global_init(CURL_GLOBAL_DEFAULT);
    if (initialised != CURLE_OK) throw std::runtime_error("libcurl could not be initialised");
    worker_ = std::thread([this] { run(); });
}

alertmanager_sink::~alertmanager_sink() { stop(std::chrono::seconds(2)); }

bool alertmanager_sink::post(const history::event_row& e) {
    std::string body = alert_document(e, o_.hold);
    {
        const std::lock_guard<std::mutex> lock(mu_);
        if (!stopping_ && queue_.size() < o_.queue_limit) {
            queue_.push_back(std::move(body));
            wake_.notify_one();
            return true;
        }
    }
    ++overflowed_;
    return false;
}

void alertmanager_sink::stop(std::chrono::milliseconds deadline) {
    {
        const std::lock_guard<std::mutex> lock(mu_);
        if (!stopping_) {
            stopping_ = true;
            deadline_ = (steady::now() + deadline).time_since_epoch().count();
        }
        wake_.notify_all();
    }
    if (worker_.joinable()) worker_.join();
}

alertmanager_counts alertmanager_sink::counts() const {
    return {sent_.load(), retried_.load(), failed_.load(), overflowed_.load()};
}

bool alertmanager_sink::past_deadline() const {
    return steady::now().time_since_epoch().count() >= deadline_.load();
}

void alertmanager_sink::run() {
    const std::unique_ptr<CURL, curl_cleanup> curl{curl_easy_init()};
    for (;;) {
        std::string body;
        {
            std::unique_lock<std::mutex> lock(mu_);
            wake_.wait(lock, [&] { return stopping_ || !queue_.empty(); });
            if (queue_.empty() || (stopping_ && past_deadline())) {
                failed_ += queue_.size();  // left at the deadline
                queue_.clear();
                return;
            }
            body = std::move(queue_.front());
            queue_.pop_front();
        }
        if (curl && deliver(curl.get(), body))
            ++sent_;
        else
            ++failed_;
    }
}

bool alertmanager_sink::deliver(void* handle, const std::string& body) {
    CURL* curl = static_cast<CURL*>(handle);
    const std::unique_ptr<curl_slist, headers_cleanup> headers{
        curl_slist_append(nullptr, "Content-Type: application/json")};
    curl_easy_reset(curl);
    curl_easy_setopt(curl, CURLOPT_URL, endpoint_.c_str());
    curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);  // no SIGALRM in a threaded program
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers.get());
    curl_easy_setopt(curl, CURLOPT_POSTFIELDS, body.c_str());
    curl_easy_setopt(curl, CURLOPT_POSTFIELDSIZE, static_cast<long>(body.size()));
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(o_.connect_timeout.count()));
    curl_easy_setopt(curl, CURLOPT_TIMEOUT_MS, static_cast<long>(o_.timeout.count()));
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, discard);
    if (!o_.ca_file.empty()) curl_easy_setopt(curl, CURLOPT_CAINFO, o_.ca_file.c_str());
    // A transfer in flight at the stop deadline is abandoned.
    curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(curl, CURLOPT_XFERINFODATA, this);
    curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION,
                     +[](void* self, curl_off_t, curl_off_t, curl_off_t, curl_off_t) -> int {
                         return static_cast<alertmanager_sink*>(self)->past_deadline() ? 1 : 0;
                     });

    auto pause = o_.retry_pause;
    for (int attempt = 1;; ++attempt) {
        long http = 0;
        if (curl_easy_perform(curl) == CURLE_OK) {
            curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &http);
            if (http >= 200 && http < 300) return true;
            // Refused as malformed: sending it again would be refused again.
            if (http >= 400 && http < 500 && http != 408 && http != 429) return false;
        }
        if (attempt >= o_.attempts) return false;
        // The pause ends early at the stop deadline (stop() may set it during the pause), not
        // at stop() itself: draining retries too.
        std::unique_lock<std::mutex> lock(mu_);
        const auto resume = steady::now() + pause;
        while (!past_deadline() && steady::now() < resume)
            wake_.wait_until(lock, std::min(resume, steady::time_point(steady::duration(deadline_.load()))));
        if (past_deadline()) return false;
        ++retried_;
        pause *= 2;
    }
}

}  // namespace telvar::events
