// Contexts and the transport settings.
#include <gtest/gtest.h>

#include <arpa/inet.h>

#include <cstdio>
#include <string>

#include "support/test_addresses.h"
#include "tv_api/tv_inter.h"

namespace {

TEST(context, dotted_address_is_taken_without_lookup_and_port_zero_is_assigned) {
    const char* host = tvtest::addr::context_switch;
    tv_context* ctx = tv_opencontext(host, 0);
    ASSERT_NE(nullptr, ctx);
    EXPECT_EQ(host, ctx->host_text);  // the caller's own pointer
    EXPECT_EQ(inet_addr(host), ctx->remote_addr.sin_addr.s_addr);
    EXPECT_EQ(5000, ntohs(ctx->remote_addr.sin_port));
    EXPECT_NE(0, ntohs(ctx->local_addr.sin_port));
    EXPECT_EQ(inet_addr("127.0.0.1"), ctx->local_addr.sin_addr.s_addr);
    EXPECT_EQ(TV_DEFAULT_DEST, ctx->dest_fc_addr);
    EXPECT_EQ(0, ctx->login_required);
    EXPECT_EQ(0u, ctx->last_activity);
    EXPECT_EQ('\0', ctx->user_id[0]);
    tv_api_errno = 55;
    EXPECT_EQ(0, tv_close(ctx));
    EXPECT_EQ(0, tv_api_errno);
}

TEST(context, names_are_looked_up) {
    tv_context* ctx = tv_open("localhost");
    ASSERT_NE(nullptr, ctx);
    EXPECT_STREQ("127.0.0.1", ctx->host_text);
    tv_close(ctx);

    EXPECT_EQ(nullptr, tv_open("no-such-switch.invalid"));
    EXPECT_EQ(TV_ERR_BAD_HOST, tv_api_errno);
    EXPECT_EQ(nullptr, tv_open(nullptr));
    EXPECT_EQ(TV_ERR_BAD_HOST, tv_api_errno);
}

TEST(context, busy_local_port_fails_after_five_binds) {
    tv_context* first = tv_opencontext(tvtest::addr::context_switch, 0);
    ASSERT_NE(nullptr, first);
    const int port = ntohs(first->local_addr.sin_port);

    std::FILE* log = std::tmpfile();
    tv_api_open(log);
    EXPECT_EQ(nullptr, tv_opencontext(tvtest::addr::context_switch, port));  // about 8 s
    EXPECT_EQ(TV_ERR_BIND, tv_api_errno);
    std::rewind(log);
    std::string text(512, '\0');
    text.resize(std::fread(text.data(), 1, text.size(), log));
    std::fclose(log);
    tv_api_open(stderr);
    const std::string retry = "\"retrying bind operation 98\"\n";
    EXPECT_EQ(retry + retry + retry + retry + "Error while bind - last error code 98\n", text);
    tv_close(first);
}

TEST(transport, local_address_towards_loopback) {
    const uint32_t remote = inet_addr("127.0.3.3");
    EXPECT_EQ(inet_addr("127.0.0.1"), tv_get_local_ipaddr(&remote));
}

}  // namespace
