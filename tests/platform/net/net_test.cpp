#include "platform/net/net.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "local_server.h"
#include "raw_server.h"

namespace tavolen::net {
namespace {

std::u16string wide(std::string_view ascii) {
    return std::u16string(ascii.begin(), ascii.end());
}

TEST(CrackUrl, SplitsHttpAndHttpsAddresses) {
    struct Case {
        const char* url;
        int scheme;
        const char* host;
        int port;
        const char* path;
        const char* extra;
    } cases[] = {
        {"http://example.org/a/b?x=1#f", scheme_http, "example.org", 80, "/a/b", "?x=1#f"},
        {"HTTPS://Example.org:8443", scheme_https, "Example.org", 8443, "", ""},
        {"http://h?q=1", scheme_http, "h", 80, "", "?q=1"},
        {"http://user:pw@h:81/p", scheme_http, "h", 81, "/p", ""},
        {"http://[::1]:9/x", scheme_http, "::1", 9, "/x", ""},
        {"https://h/", scheme_https, "h", 443, "/", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.url);
        std::u16string url = wide(c.url);
        UrlComponents parts;
        ASSERT_TRUE(crack_url(url, parts));
        EXPECT_EQ(parts.scheme, c.scheme);
        EXPECT_EQ(parts.host_name, wide(c.host));
        EXPECT_EQ(parts.port, c.port);
        EXPECT_EQ(parts.url_path, wide(c.path));
        EXPECT_EQ(parts.extra_info, wide(c.extra));
    }
}

TEST(CrackUrl, RejectsWhatIsNotAnHttpAddress) {
    for (const char* url :
         {"", "example.org/x", "ftp://h/", "http://", "http:///p", "http://h:/", "http://h:99999/",
          "http://h:8x/", "http://h:0/", "http://a b/", "http://[::1/", "file:///etc/passwd"}) {
        SCOPED_TRACE(url);
        UrlComponents parts;
        parts.port = 7;
        EXPECT_FALSE(crack_url(wide(url), parts));
        EXPECT_EQ(parts.port, 7);  // untouched on failure
    }
}

// One request through every step, as a caller of these functions makes it.
struct Outcome {
    bool sent = false, received = false, read_ok = true;
    std::string body, headers;
};

struct Handles {
    Internet session = nullptr, connection = nullptr, request = nullptr;
    ~Handles() {
        close_handle(request);
        close_handle(connection);
        close_handle(session);
    }
};

bool open(Handles& h, const std::string& url, const char* verb, std::u16string_view headers = {},
          int timeout_ms = 5000) {
    std::u16string wurl = wide(url);
    UrlComponents parts;
    if (!crack_url(wurl, parts)) return false;
    h.session = open_session({}, access_type_no_proxy, {});
    h.connection = connect(h.session, parts.host_name, parts.port);
    std::u16string object(parts.url_path);
    object += parts.extra_info;
    h.request = open_request(h.connection, wide(verb), object,
                             parts.scheme == scheme_https ? flag_secure : 0);
    return h.request && set_timeouts(h.request, timeout_ms, timeout_ms, timeout_ms, timeout_ms) &&
           (headers.empty() ||
            add_request_headers(h.request, headers, addreq_flag_add | addreq_flag_replace));
}

Outcome finish(Handles& h, std::string_view body = {}) {
    Outcome out;
    auto bytes = std::span(reinterpret_cast<const std::uint8_t*>(body.data()), body.size());
    out.sent = send_request(h.request, bytes, static_cast<std::uint32_t>(body.size()));
    if (!out.sent) return out;
    out.received = receive_response(h.request);
    if (!out.received) return out;
    for (;;) {
        std::uint32_t n = 0;
        if (!query_data_available(h.request, n) || n == 0) break;
        std::string chunk(n, '\0');
        std::uint32_t got = 0;
        if (!read_data(h.request, chunk.data(), n, got)) {
            out.read_ok = false;
            break;
        }
        out.body.append(chunk, 0, got);
    }
    std::uint32_t size = 0, index = 0;
    EXPECT_FALSE(query_headers(h.request, query_raw_headers_crlf, nullptr, size, index));
    std::vector<char16_t> buffer(size / 2);
    EXPECT_TRUE(query_headers(h.request, query_raw_headers_crlf, buffer.data(), size, index));
    for (char16_t c : buffer) {
        if (!c) break;
        out.headers += static_cast<char>(c);
    }
    return out;
}

std::string header_of(const httplib::Request& req, const char* name) {
    return req.has_header(name) ? req.get_header_value(name) : "<none>";
}

TEST(NetRequest, SendsExactlyTheHeadersAndBodyItWasGiven) {
    test::LocalServer server;
    std::string seen;
    server.server().Put("/put", [&](const httplib::Request& req, httplib::Response& res) {
        seen = req.method + "|" + req.target + "|" + req.body + "|" + header_of(req, "X-One") +
               "|" + header_of(req, "Accept") + "|" + header_of(req, "Content-Type") + "|" +
               header_of(req, "Expect") + "|" + header_of(req, "User-Agent") + "|" +
               header_of(req, "X-Gone");
        res.set_content("done", "text/plain");
    });
    ASSERT_TRUE(server.start());
    Handles h;
    ASSERT_TRUE(open(h, server.url("/put?a=1"), "PUT", u"X-One: 1\r\nX-Gone: 2\r\nx-one: 3"));
    // Replacing with an empty value removes the header.
    ASSERT_TRUE(add_request_headers(h.request, u"X-Gone:", addreq_flag_add | addreq_flag_replace));
    Outcome out = finish(h, "k=v");
    ASSERT_TRUE(out.received);
    EXPECT_TRUE(out.read_ok);
    EXPECT_EQ(seen, "PUT|/put?a=1|k=v|3|<none>|<none>|<none>|<none>|<none>");
    EXPECT_EQ(out.body, "done");
    EXPECT_TRUE(out.headers.starts_with("HTTP/1.1 200 OK\r\n")) << out.headers;
    EXPECT_TRUE(out.headers.ends_with("\r\n\r\n")) << out.headers;
    EXPECT_NE(out.headers.find("\r\nContent-Length: 4\r\n"), std::string::npos);
}

TEST(NetRequest, BodiesSmallAndLargeArriveWholeAlsoAcrossA307) {
    test::LocalServer server;
    server.server().Post("/again", [](const httplib::Request&, httplib::Response& res) {
        res.status = 307;
        res.set_header("Location", "/echo");
    });
    server.server().Post("/echo", [](const httplib::Request& req, httplib::Response& res) {
        res.set_content(std::to_string(req.body.size()) + ":" + req.body.substr(0, 3) + ":" +
                            req.body.substr(req.body.size() - 3),
                        "text/plain");
    });
    ASSERT_TRUE(server.start());
    for (std::size_t size : {std::size_t{6}, std::size_t{300000}}) {
        std::string body(size, 'm');
        body.replace(0, 3, "abc");
        body.replace(size - 3, 3, "xyz");
        for (const char* path : {"/echo", "/again"}) {
            SCOPED_TRACE(std::to_string(size) + path);
            Handles h;
            ASSERT_TRUE(open(h, server.url(path), "POST"));
            Outcome out = finish(h, body);
            EXPECT_EQ(out.body, std::to_string(size) + ":abc:xyz");
        }
    }
}

TEST(NetRequest, MalformedHeaderLinesFailAndAddNothing) {
    for (const char16_t* bad :
         {u"NoColon", u"X-A: 1\r\n: empty-name", u"Bad Name: 1", u"X-A: 1\r\nX-B: a\x01z"}) {
        Handles h;
        ASSERT_TRUE(open(h, "http://127.0.0.1:1/", "GET"));
        EXPECT_FALSE(add_request_headers(h.request, bad, addreq_flag_add | addreq_flag_replace));
    }
}

TEST(NetRequest, FollowsRedirectsTurningPostIntoGetUnlessSwitchedOff) {
    test::LocalServer server;
    server.server().Post("/from", [](const httplib::Request&, httplib::Response& res) {
        res.status = 302;
        res.set_header("Location", "/to");
        res.set_header("Set-Cookie", "s=1");
    });
    server.server().Get("/to", [](const httplib::Request& req, httplib::Response& res) {
        res.set_content("GET /to cookie=" + header_of(req, "Cookie"), "text/plain");
    });
    server.server().Get("/loop", [](const httplib::Request&, httplib::Response& res) {
        res.status = 301;
        res.set_header("Location", "/loop");
    });
    ASSERT_TRUE(server.start());
    {
        Handles h;
        ASSERT_TRUE(open(h, server.url("/from"), "POST"));
        Outcome out = finish(h, "x=1");
        ASSERT_TRUE(out.received);
        // The session's cookie jar carries the cookie across the redirect.
        EXPECT_EQ(out.body, "GET /to cookie=s=1");
        EXPECT_TRUE(out.headers.starts_with("HTTP/1.1 200 OK\r\n"));
        EXPECT_EQ(out.headers.find("302"), std::string::npos);
    }
    {
        Handles h;
        ASSERT_TRUE(open(h, server.url("/from"), "POST"));
        ASSERT_TRUE(set_option(h.request, option_disable_feature, disable_cookies));
        Outcome out = finish(h, "x=1");
        EXPECT_EQ(out.body, "GET /to cookie=<none>");
    }
    {
        Handles h;
        ASSERT_TRUE(open(h, server.url("/from"), "POST"));
        ASSERT_TRUE(set_option(h.request, option_disable_feature, disable_redirects));
        Outcome out = finish(h, "x=1");
        ASSERT_TRUE(out.received);
        EXPECT_TRUE(out.headers.starts_with("HTTP/1.1 302 Found\r\n")) << out.headers;
        EXPECT_NE(out.headers.find("\r\nLocation: /to\r\n"), std::string::npos);
    }
    {
        Handles h;  // an endless chain of redirects fails the receive step
        ASSERT_TRUE(open(h, server.url("/loop"), "GET"));
        Outcome out = finish(h);
        EXPECT_TRUE(out.sent);
        EXPECT_FALSE(out.received);
    }
}

TEST(NetRequest, OptionsOutsideTheKnownSetFail) {
    Handles h;
    ASSERT_TRUE(open(h, "http://127.0.0.1:1/", "GET"));
    EXPECT_FALSE(set_option(h.request, option_disable_feature, 8));
    EXPECT_FALSE(set_option(h.request, 12345, 1));
    EXPECT_TRUE(set_option(h.request, option_enable_feature, enable_ssl_revocation));
    EXPECT_FALSE(set_credentials(h.request, auth_target_server, 2, u"u", u"p"));
    EXPECT_FALSE(set_option(nullptr, option_disable_feature, disable_cookies));
}

TEST(NetRequest, RefusedConnectionFailsTheSendStep) {
    Handles h;
    ASSERT_TRUE(open(h, "http://127.0.0.1:" + std::to_string(test::closed_port()) + "/", "GET"));
    Outcome out = finish(h);
    EXPECT_FALSE(out.sent);
    EXPECT_FALSE(receive_response(h.request));
}

// Faults of the server side, each of which must end the request at the right step.
TEST(NetRequest, BrokenServersEndAtTheRightStep) {
    struct Case {
        const char* name;
        test::RawServer::Handler handler;
        bool received;
        bool read_ok;
        std::string body;
    };
    const std::string head = "HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\n";
    std::vector<Case> cases = {
        {"silent", [](test::RawConnection& c) { c.read_request(), c.wait_for_close(); }, false,
         true, ""},
        {"endless interim answers",
         [](test::RawConnection& c) {
             c.read_request();
             while (c.send("HTTP/1.1 100 Continue\r\n\r\n") && c.pause_ms(200)) {
             }
         },
         false, true, ""},
        {"interim answer before the real one",
         [](test::RawConnection& c) {
             c.read_request();
             c.send("HTTP/1.1 100 Continue\r\n\r\n");
             c.pause_ms(100);
             c.send("HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok");
         },
         true, true, "ok"},
        {"closes at once", [](test::RawConnection& c) { c.read_request(); }, false, true, ""},
        {"garbage", [](test::RawConnection& c) { c.read_request(), c.send("hello\r\n\r\n"); },
         false, true, ""},
        {"drips its head",
         [](test::RawConnection& c) {
             c.read_request();
             c.send("HTTP/1.1 200 OK\r\n");
             while (c.send("X") && c.pause_ms(100)) {
             }
         },
         false, true, ""},
        {"huge head",
         [](test::RawConnection& c) {
             c.read_request();
             c.send("HTTP/1.1 200 OK\r\n");
             std::string line = "X-Pad: " + std::string(8000, 'p') + "\r\n";
             for (int i = 0; i < 200 && c.send(line); ++i) {
             }
             c.wait_for_close();
         },
         false, true, ""},
        {"body cut short",
         [&](test::RawConnection& c) { c.read_request(), c.send(head + "12345"); }, true, false,
         "12345"},
        {"reset mid-body",
         [&](test::RawConnection& c) {
             c.read_request(), c.send(head + "123"), c.pause_ms(50), c.reset();
         },
         true, false, "123"},
        {"stalls mid-body",
         [&](test::RawConnection& c) {
             c.read_request(), c.send(head + "1234"), c.wait_for_close();
         },
         true, false, "1234"},
        {"bad chunk",
         [](test::RawConnection& c) {
             c.read_request();
             c.send("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n3\r\nabc\r\nzz\r\n");
         },
         true, false, "abc"},
        {"chunked body with a trailer",
         [](test::RawConnection& c) {
             c.read_request();
             c.send(
                 "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n"
                 "3\r\nabc\r\n0\r\nX-Trailer: t\r\n\r\n");
         },
         true, true, "abc"},
        {"empty chunked body with trailers, one looking like a status line",
         [](test::RawConnection& c) {
             c.read_request();
             c.send(
                 "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n0\r\nHTTP/9: "
                 "500\r\nX-Trailer: t\r\n\r\n");
         },
         true, true, ""},
        {"closes after body without length",
         [](test::RawConnection& c) { c.read_request(), c.send("HTTP/1.1 200 OK\r\n\r\nall"); },
         true, true, "all"},
    };
    for (Case& c : cases) {
        SCOPED_TRACE(c.name);
        test::RawServer server(c.handler);
        Handles h;
        ASSERT_TRUE(open(h, server.url("/"), "GET", {}, 1000));
        Outcome out = finish(h);
        EXPECT_TRUE(out.sent);
        EXPECT_EQ(out.received, c.received);
        EXPECT_EQ(out.read_ok, c.read_ok);
        EXPECT_EQ(out.body, c.body);
        if (out.received) {
            EXPECT_TRUE(out.headers.starts_with("HTTP/1.1 200 OK\r\n"));
            EXPECT_TRUE(out.headers.ends_with("\r\n\r\n"));
            EXPECT_EQ(out.headers.find("X-Trailer"), std::string::npos);
        }
    }
}

TEST(NetRequest, BodyTheServerNeverTakesFailsTheSendByItsTimeout) {
    test::RawServer server([](test::RawConnection& c) {
        while (c.pause_ms(50)) {  // reads nothing
        }
    });
    Handles h;
    ASSERT_TRUE(open(h, server.url("/"), "PUT", {}, 500));
    // Far more than the loopback socket buffers hold.
    Outcome out = finish(h, std::string(64 << 20, 'u'));
    EXPECT_FALSE(out.sent);
}

TEST(NetRequest, BodyPastTheCapFailsTheReadAfterTheCappedBytes) {
    test::RawServer server([](test::RawConnection& c) {
        c.read_request();
        c.send("HTTP/1.1 200 OK\r\nContent-Length: 104857600\r\n\r\n");
        std::string block(1 << 20, 'b');
        for (int i = 0; i < 100 && c.send(block); ++i) {
        }
    });
    Handles h;
    ASSERT_TRUE(open(h, server.url("/"), "GET"));
    Outcome out = finish(h);
    ASSERT_TRUE(out.received);
    EXPECT_FALSE(out.read_ok);
    EXPECT_EQ(out.body.size(), max_body_bytes);
}

// A cancel from another thread is the only way out of these steps: no timeouts are set, so a
// broken cancel would hang the test.
TEST(NetRequest, CancelFromAnotherThreadEndsTheBlockedStep) {
    for (int stage : {0, 1}) {
        SCOPED_TRACE(stage);
        std::atomic<bool> answered{false};
        test::RawServer server([&](test::RawConnection& c) {
            c.read_request();
            if (stage == 1) c.send("HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\nabc");
            answered = true;
            c.wait_for_close();
        });
        Handles h;
        ASSERT_TRUE(open(h, server.url("/"), "GET", {}, 0));
        auto token = make_cancel_token();
        set_cancel_token(h.request, token);
        std::thread canceller([&] {
            while (!answered) std::this_thread::sleep_for(std::chrono::milliseconds(1));
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
            token->cancel();
        });
        Outcome out = finish(h);
        canceller.join();
        EXPECT_TRUE(out.sent);
        EXPECT_EQ(out.received, stage == 1);
        if (stage == 1) {
            EXPECT_FALSE(out.read_ok);
            EXPECT_EQ(out.body, "abc");
        }
    }
}

TEST(NetRequest, AnAlreadyCancelledTokenFailsTheSend) {
    Handles h;
    ASSERT_TRUE(open(h, "http://127.0.0.1:1/", "GET"));
    auto token = make_cancel_token();
    token->cancel();
    set_cancel_token(h.request, token);
    EXPECT_FALSE(finish(h).sent);
}

}  // namespace
}  // namespace tavolen::net
