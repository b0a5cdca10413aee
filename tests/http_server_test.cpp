// Our HTTP server (http_server/): what a route is given and what reaches the client; clients
// that send half a request and hold on, against one handler thread and the connection limits;
// TLS with a certificate made here; a stop while a handler runs.
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
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

TEST(http_server, serves_tls_from_a_certificate_and_key_file) {
    const std::filesystem::path dir = std::filesystem::temp_directory_path() / ("http_server_test." + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    ASSERT_TRUE(tvtest::make_certificate(dir, A::http_server_listen)) << "openssl (scripts/deps.sh test installs it)";
    http::config c = echo_config();
    c.tls = http::tls_files{(dir / "cert.pem").string(), (dir / "key.pem").string()};
    {
        const auto s = start(c);
        ASSERT_TRUE(s);
        const std::string url = "https://" + std::string(A::http_server_listen) + ":" + std::to_string(s->port());
        EXPECT_EQ("GET /echo\nquery q=1\nbody \n", tvtest::https_get(url + "/echo?q=1", dir / "cert.pem"));
        // Plain HTTP to it gets no answer.
        EXPECT_EQ(0, tvtest::http_get(A::http_client, A::http_server_listen, s->port(), "/echo").status);

        // A port taken: refused as a listening error.
        http::config taken = echo_config();
        taken.address = A::http_server_listen;
        taken.port = s->port();
        http::start_error why{};
        EXPECT_FALSE(http::server::start(taken, why));
        EXPECT_EQ(http::start_error::listen, why.kind);
        EXPECT_EQ("Address already in use", why.text);
    }
    // Files that cannot serve: refused as TLS errors, naming the file.
    const std::vector<std::pair<http::tls_files, std::string>> refused{
        {{(dir / "none.pem").string(), (dir / "key.pem").string()}, "certificate " + (dir / "none.pem").string() + ": No such file or directory"},
        {{(dir / "cert.pem").string(), dir.string()}, "key " + dir.string() + ": not a regular file"},
        {{(dir / "key.pem").string(), (dir / "cert.pem").string()}, "certificate or key refused: "},
    };
    for (const auto& [files, text] : refused) {
        c.tls = files;
        c.address = A::http_server_listen;
        http::start_error why{};
        EXPECT_FALSE(http::server::start(c, why)) << text;
        EXPECT_EQ(http::start_error::tls, why.kind);
        EXPECT_TRUE(why.text.starts_with(text)) << why.text;
    }
    std::filesystem::remove_all(dir);
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
