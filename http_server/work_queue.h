// A fixed set of threads that run the jobs given to them in order. The HTTP server runs its
// handlers here, so that a handler that takes its time holds a thread of this set, never the
// thread that reads and writes the connections.
#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace http {

class work_queue {
public:
    explicit work_queue(unsigned threads);
    ~work_queue();  // close_and_wait
    work_queue(const work_queue&) = delete;
    work_queue& operator=(const work_queue&) = delete;

    // False, with the job not taken, once the queue is closed.
    bool push(std::function<void()> job);
    // Takes no more jobs, runs those taken, and joins the threads.
    void close_and_wait();

private:
    void serve();

    std::mutex mutex_;
    std::condition_variable ready_;
    std::deque<std::function<void()>> jobs_;
    bool closed_ = false;
    std::vector<std::thread> threads_;
};

}  // namespace http
