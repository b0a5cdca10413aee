// Each trap as an alert to Prometheus Alertmanager: POST URL/api/v2/alerts with a JSON array
// of one alert, over http:// or https://.
//
//   labels       alertname "FabricTrap", fabric, switch (its WWN), chassis, code, unit,
//                alert ("rising" or "falling"), severity ("warning" when rising, else "info")
//   annotations  summary (the trap's line, trap_text.h), description (the code's description)
//   startsAt     the trap's time; endsAt that plus the hold (15 minutes by default), so that
//                an alert no trap renews resolves by itself
//
// Posting never holds the receiver: post() only queues (a bounded queue; a full one drops and
// counts), and one worker thread sends, with short timeouts, retrying a failed POST a few times
// before it drops it and counts it. stop() lets the worker drain the queue until a deadline,
// then abandons what is left, a transfer in flight included.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <thread>

#include "history/rows.h"

namespace telvar::events {

struct alertmanager_options {
    std::string url;  // "http://host:port" or "https://host:port", with a path prefix if any
    std::chrono::milliseconds hold = std::chrono::minutes(15);
    std::chrono::milliseconds connect_timeout{1000};
    std::chrono::milliseconds timeout{3000};  // of one whole POST
    int attempts = 3;                         // POSTs of one alert before it is dropped
    std::chrono::milliseconds retry_pause{250};  // before the second attempt; doubled after
    std::size_t queue_limit = 1000;
    std::string ca_file;  // https: the certificate authority to trust (empty: the system's)
};

struct alertmanager_counts {
    std::uint64_t sent = 0;        // accepted by Alertmanager
    std::uint64_t retried = 0;     // attempts after a failed one
    std::uint64_t failed = 0;      // dropped after their attempts, refused, or left at stop()
    std::uint64_t overflowed = 0;  // dropped because the queue was full
};

// The body of the POST for one trap.
std::string alert_document(const history::event_row& e, std::chrono::milliseconds hold);

class alertmanager_sink {
public:
    // Throws std::invalid_argument when the URL is not http:// or https://.
    explicit alertmanager_sink(alertmanager_options o);
    ~alertmanager_sink();  // stop() with a deadline of 2 s, when not stopped yet
    alertmanager_sink(const alertmanager_sink&) = delete;
    alertmanager_sink& operator=(const alertmanager_sink&) = delete;

    // Queues the trap's alert; false (counted) when the queue is full or the sink stopped.
    bool post(const history::event_row& e);
    // Sends what is queued until `deadline` has passed, then ends the worker.
    void stop(std::chrono::milliseconds deadline);
    alertmanager_counts counts() const;

private:
    using steady = std::chrono::steady_clock;
    void run();
    // One alert, with its attempts; true when it was accepted.
    bool deliver(void* curl, const std::string& body);
    bool past_deadline() const;

    alertmanager_options o_;
    std::string endpoint_;
    mutable std::mutex mu_;
    std::condition_variable wake_;
    std::deque<std::string> queue_;
    bool stopping_ = false;
    std::atomic<steady::rep> deadline_{steady::time_point::max().time_since_epoch().count()};
    std::atomic<std::uint64_t> sent_{0}, retried_{0}, failed_{0}, overflowed_{0};
    std::thread worker_;
};

}  // namespace telvar::events
