// Our HTTP server (http_server/): what a route is given and what reaches the client; clients
// that send half a request and hold on, against one handler thread and the connection limits;
// a stop while a handler runs. TLS is tested through the exporter (exporter_test).
#include <gtest/gtest.h>

#include <future>
#include <memory>
#include <thread>

#include "http_server/server.h"
#include "support/http_client.h"
#include "support/test_addresses.h"

namespace {

namespace A = tvtest::addr;

const std::string half_request = "GET /echo HTTP/1.1\r\nHost: test\r\n";

// The request as the handler saw it, one field a line.
http::response echo(const http::request& r) {
    std::string out = r.method + " " + r.path + "\n";
    for (const auto& [k, v] : r.query) out += "query " + k + "=" + v + "\n";
    if (const auto it = r.headers.find("x-test"); it != r.headers.end()) out += "x-test " + it->second + "\n";
    out += "body " + r.body + "\n";
    return {200, {{"Content-Type", "text/plain"}, {"X-Answer", "yes"}}, out};
}

std::unique_ptr<http::server> start(http::config c) {
    c.address = A::http_server_listen;
    http::start_error why{};
    auto s = http::server::start(std::move(c), why);
    EXPECT_TRUE(s) << why.text;
    return s;
}

http::config echo_config() {
    http::config c;
    c.limit.max_body = 1000;
    c.routes = {{"GET", "/echo", echo},
                {"POST", "/echo", echo},
                {"GET", "/fail", [](const http::request&) -> http::response { throw std::runtime_error("broken"); }}};
    return c;
}

TEST(http_server, gives_routes_the_request_and_sends_their_answer) {
    const auto s = start(echo_config());
    ASSERT_TRUE(s);
    const int port = s->port();
    ASSERT_GT(port, 0);
    const auto ask = [&](const std::string& request) {
        return tvtest::http_exchange(A::http_client, A::http_server_listen, port, request);
    };
    tvtest::http_reply r = ask("GET /echo?a=1&b=x%20y HTTP/1.1\r\nHost: t\r\nX-Test: one\r\nx-test: two\r\nConnection: close\r\n\r\n");
    EXPECT_EQ(200, r.status);
    EXPECT_NE(std::string::npos, r.head.find("\r\nX-Answer: yes"));
    EXPECT_EQ("GET /echo\nquery a=1\nquery b=x y\nx-test one, two\nbody \n", r.body);

    r = ask("POST /echo HTTP/1.1\r\nHost: t\r\nContent-Length: 5\r\nConnection: close\r\n\r\nhello");
    EXPECT_EQ("POST /echo\nbody hello\n", r.body);
    r = ask("HEAD /echo HTTP/1.1\r\nHost: t\r\nConnection: close\r\n\r\n");
    EXPECT_EQ(200, r.status);
    EXPECT_EQ("", r.body);

    // Refusals, each with its status and without reaching a handler.
    EXPECT_EQ(404, ask("GET /other HTTP/1.1\r\nHost: t\r\nConnection: close\r\n\r\n").status);
    r = ask("DELETE /echo HTTP/1.1\r\nHost: t\r\nConnection: close\r\n\r\n");
    EXPECT_EQ(405, r.status);
    EXPECT_NE(std::string::npos, r.head.find("\r\nAllow: GET, POST"));
    EXPECT_EQ(413, ask("POST /echo HTTP/1.1\r\nHost: t\r\nContent-Length: 1001\r\nConnection: close\r\n\r\n").status);
    EXPECT_EQ(500, ask("GET /fail HTTP/1.1\r\nHost: t\r\nConnection: close\r\n\r\n").status);
    // A body sent in chunks past the limit: the connection is closed without an answer.
    const std::string chunk(600, 'x');
    r = ask("POST /echo HTTP/1.1\r\nHost: t\r\nTransfer-Encoding: chunked\r\nConnection: close\r\n\r\n258\r\n" + chunk +
            "\r\n258\r\n" + chunk + "\r\n0\r\n\r\n");
    EXPECT_EQ(0, r.status);
    // Headers past their memory: refused.
    EXPECT_EQ(431, ask("GET /echo HTTP/1.1\r\nHost: t\r\nX-Big: " + std::string(40000, 'h') + "\r\n\r\n").status);
}

TEST(http_server, slow_clients_hold_no_handler_and_the_limits_hold) {
    http::config c = echo_config();
    c.limit.handler_threads = 1;
    c.limit.per_address = 4;
    c.limit.connections = 6;
    c.limit.idle_timeout = std::chrono::seconds(120);  // far beyond the test's own time
    const auto s = start(c);
    ASSERT_TRUE(s);
    const int port = s->port();
    const auto hold = [&](const char* from) {
        auto h = std::make_unique<tvtest::tcp_connection>(from, A::http_server_listen, port);
        EXPECT_TRUE(h->connected() && h->send(half_request));
        return h;
    };
    std::vector<std::unique_ptr<tvtest::tcp_connection>> slow;
    for (int i = 0; i < 4; ++i) slow.push_back(hold(A::http_client));
    // A fifth from the same address is closed at once, without a byte.
    tvtest::tcp_connection fifth(A::http_client, A::http_server_listen, port);
    EXPECT_TRUE(fifth.heard_from_server(30000));
    EXPECT_EQ("", fifth.read_to_end());
    // Another address is served by the one handler thread, which none of them holds.
    EXPECT_EQ("GET /echo\nbody \n", tvtest::http_get(A::http_other_client, A::http_server_listen, port, "/echo").body);

    // Six held in all: a third address waits, not taken, until one of them is done.
    slow.push_back(hold(A::http_other_client));
    slow.push_back(hold(A::http_other_client));
    tvtest::tcp_connection seventh("127.0.200.13", A::http_server_listen, port);
    ASSERT_TRUE(seventh.send("GET /echo HTTP/1.1\r\nHost: test\r\nConnection: close\r\n\r\n"));
    EXPECT_FALSE(seventh.heard_from_server(300));

    // The slow ones were held, not dropped: each has heard nothing, and one that finishes its
    // request is answered; its place goes to the one waiting.
    for (const auto& h : slow) EXPECT_FALSE(h->heard_from_server());
    ASSERT_TRUE(slow[0]->send("Connection: close\r\n\r\n"));
    const std::string answer = slow[0]->read_to_end();
    EXPECT_TRUE(answer.starts_with("HTTP/1.1 200 ")) << answer;
    EXPECT_TRUE(seventh.read_to_end().starts_with("HTTP/1.1 200 "));
}

TEST(http_server, a_stop_lets_the_running_handler_answer) {
    std::promise<void> entered, release;
    std::shared_future<void> go = release.get_future().share();
    http::config c;
    c.routes = {{"GET", "/wait", [&](const http::request&) {
                     entered.set_value();
                     go.wait();
                     return http::response{200, {}, "done"};
                 }}};
    auto s = start(c);
    ASSERT_TRUE(s);
    const int port = s->port();
    auto reply = std::async(std::launch::async, [&] { return tvtest::http_get(A::http_client, A::http_server_listen, port, "/wait"); });
    entered.get_future().wait();
    std::thread stopper([&] { s.reset(); });
    release.set_value();
    stopper.join();
    EXPECT_EQ("done", reply.get().body);
}

}  // namespace
