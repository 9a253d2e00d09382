#include "http/http_request.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cctype>
#include <mutex>
#include <thread>

#include "http/message_pump.h"
#include "local_server.h"
#include "raw_server.h"
#include "text/encoding.h"
#include "tls_server.h"

namespace tavolen {
namespace {

Text ansi(std::string_view utf8) {
    return utf8_to_ansi(utf8);
}
std::string utf8(std::string_view text) {
    return ansi_to_utf8(text);
}

// Answers every request with one fixed reply and keeps the last request as it arrived.
class ReplyServer {
  public:
    explicit ReplyServer(std::string reply)
        : reply_(std::move(reply)), server_([this](test::RawConnection& c) {
              std::string request = c.read_request();
              {
                  std::lock_guard lock(mutex_);
                  last_ = request;
              }
              c.send(reply_);
          }) {}
    std::string url(const std::string& path = "/") const { return server_.url(path); }
    int port() const { return server_.port(); }
    std::string last() {
        std::lock_guard lock(mutex_);
        return last_;
    }
    // The value of the one header line `name` (any case), "<none>" when absent and "<twice>"
    // when it came more than once.
    std::string header(const std::string& name) {
        std::string request = lower(last());
        std::string key = "\r\n" + lower(name) + ": ";
        std::size_t at = request.find(key);
        if (at == std::string::npos) return "<none>";
        if (request.find(key, at + 1) != std::string::npos) return "<twice>";
        std::size_t start = at + key.size();
        return last().substr(start, request.find("\r\n", start) - start);
    }
    std::string request_line() {
        std::string request = last();
        return request.substr(0, request.find("\r\n"));
    }

  private:
    static std::string lower(std::string text) {
        for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        return text;
    }

    std::string reply_;
    std::mutex mutex_;
    std::string last_;
    test::RawServer server_;
};

const std::string ok_reply = "HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok";

// Counts the message-pump points of the calling thread while alive.
struct PumpCounter {
    int count = 0;
    MessagePump previous = set_message_pump([this] { ++count; });
    ~PumpCounter() { set_message_pump(previous); }
};

TEST(HttpRequest, DefaultHeaderLinesAndTheirSuppression) {
    const std::string ua = "Mozilla/5.0 (compatible; MSIE 9.0; Windows NT 6.1; WOW64; Trident/5.0)";
    const std::string form = "application/x-www-form-urlencoded";
    struct Case {
        const char* name;
        int method;
        Text extra;
        std::optional<Text> cookies;
        std::vector<std::pair<std::string, std::string>> expected;
    } cases[] = {
        {"plain GET",
         0,
         "",
         {},
         {{"User-Agent", ua},
          {"Accept", "text/html, application/xhtml+xml, */*"},
          {"Accept-Encoding", "gbk, GB2312"},
          {"Accept-Language", "zh-cn"},
          {"Cache-Control", "no-cache"},
          {"Content-Type", "<none>"},
          {"Cookie", "<none>"}}},
        {"POST gets the form type", 1, "", {}, {{"Content-Type", form}}},
        {"PUT does not", 3, "", {}, {{"Content-Type", "<none>"}}},
        {"lower-case type does not stop the default",
         1,
         "content-type: text/plain",
         {},
         {{"Content-Type", form}}},
        {"exact type does", 1, "Content-Type: text/plain", {}, {{"Content-Type", "text/plain"}}},
        {"the type test needs no blank after the colon",
         1,
         "Content-Type:text/plain",
         {},
         {{"Content-Type", "text/plain"}}},
        {"Accept-Encoding is no Accept line",
         0,
         "ACCEPT-ENCODING: br",
         {},
         {{"Accept", "text/html, application/xhtml+xml, */*"}, {"Accept-Encoding", "br"}}},
        {"lower-case agent stops the default",
         0,
         "user-agent: probe/1",
         {},
         {{"User-Agent", "probe/1"}}},
        {"agent without the blank does not", 0, "User-Agent:probe/1", {}, {{"User-Agent", ua}}},
        {"caller's lines go as given",
         0,
         "X-A: 1\r\nAccept-Language: en\r\n",
         {},
         {{"X-A", "1"}, {"Accept-Language", "en"}}},
        {"cookies are sent unchanged", 0, "", Text("a=1;  b=2"), {{"Cookie", "a=1;  b=2"}}},
        {"given but empty: no Cookie line", 0, "", Text(""), {{"Cookie", "<none>"}}},
        {"Cookie: inside a value suppresses it",
         0,
         "X-Note: Cookie: inside",
         Text("a=1"),
         {{"Cookie", "<none>"}}},
    };
    ReplyServer server(ok_reply);
    for (Case& c : cases) {
        SCOPED_TRACE(c.name);
        Text cookies = c.cookies.value_or("");
        Text status;
        Text body = http_request(server.url(), {.method = c.method,
                                                .cookies = c.cookies ? &cookies : nullptr,
                                                .extra_headers = c.extra,
                                                .status_text = &status});
        EXPECT_EQ(status, "200 OK");
        EXPECT_EQ(body, "ok");
        for (const auto& [name, value] : c.expected) EXPECT_EQ(server.header(name), value) << name;
    }
    // The lower-case agent line reaches the server under its own spelling.
    http_request(server.url(), {.extra_headers = "user-agent: probe/1"});
    EXPECT_NE(server.last().find("\r\nuser-agent: probe/1\r\n"), std::string::npos);
}

TEST(HttpRequest, VerbsTargetsAndBody) {
    ReplyServer server(ok_reply);
    const std::pair<int, const char*> verbs[] = {
        {-1, "GET"},    {0, "GET"},    {1, "POST"},  {2, "HEAD"},    {3, "PUT"},
        {4, "OPTIONS"}, {5, "DELETE"}, {6, "TRACE"}, {7, "CONNECT"}, {8, "GET"}};
    for (const auto& [method, verb] : verbs) {
        http_request(server.url("/v"), {.method = method});
        EXPECT_EQ(server.request_line(), std::string(verb) + " /v HTTP/1.1") << method;
    }
    const std::pair<std::string, std::string> targets[] = {
        {"", "/"},  // no path: "/", and a query without a path is not sent
        {"?x=1", "/"},
        {"/a?x=1", "/a?x=1"},
        {"/a%20b", "/a%20b"},
    };
    for (const auto& [suffix, target] : targets) {
        std::string url = "http://127.0.0.1:" + std::to_string(server.port()) + suffix;
        http_request(url);
        EXPECT_EQ(server.request_line(), "GET " + target + " HTTP/1.1") << url;
    }
    http_request(server.url("/ajax/msg"), {.method = 1, .body = "roomid=12345"});
    EXPECT_TRUE(server.last().ends_with("\r\n\r\nroomid=12345"));
    EXPECT_EQ(server.header("Content-Length"), "12");
    // Any verb carries a body when given one, with its length and no type of its own.
    for (int method : {0, 5}) {
        http_request(server.url("/b"), {.method = method, .body = "q=1"});
        EXPECT_TRUE(server.last().ends_with("\r\n\r\nq=1")) << server.last();
        EXPECT_EQ(server.header("Content-Length"), "3");
        EXPECT_EQ(server.header("Content-Type"), "<none>");
    }
}

TEST(HttpRequest, StatusTextsAndBodiesOfEveryStatus) {
    test::LocalServer server;
    server.server().Get("/s/(\\d+)", [](const httplib::Request& req, httplib::Response& res) {
        res.status = std::stoi(req.matches[1]);
        res.set_content("body " + req.matches[1].str(), "text/plain");
    });
    ASSERT_TRUE(server.start());
    const std::pair<int, const char*> cases[] = {
        {200, "200 OK"}, {404, "404 Not Found"}, {500, "500 Internal Server Error"}};
    for (const auto& [code, text] : cases) {
        Text status, headers;
        ByteBuffer bytes;
        Text body = http_request(
            server.url("/s/" + std::to_string(code)),
            {.response_headers = &headers, .status_text = &status, .response_bytes = &bytes});
        EXPECT_EQ(status, text);
        EXPECT_EQ(body, "body " + std::to_string(code));
        EXPECT_EQ(bytes, text_to_bytes(body));
        EXPECT_TRUE(headers.starts_with("HTTP/1.1 " + std::string(text) + "\r\n")) << headers;
        EXPECT_TRUE(headers.ends_with("\r\n\r\n"));
    }
}

TEST(HttpRequest, HeaderAnalysisCookiesAndLocation) {
    ReplyServer server(
        "HTTP/1.1 200 OK\r\n"
        "set-cookie: a=1; path=/\r\n"
        "SET-COOKIE: b=2\r\n"
        "X-Set-Cookie-Hint: hello\r\n"
        "Set-Cookie: nick=" +
        ansi("中文") +
        "; path=/\r\n"
        "LOCATION: /next\r\n"
        "Location: /second\r\n"
        "Content-Length: 0\r\n\r\n");
    Text headers, returned, location = "old", status;
    ByteBuffer bytes = {1};
    Text body = http_request(server.url(), {.returned_cookies = &returned,
                                            .response_headers = &headers,
                                            .location = &location,
                                            .status_text = &status,
                                            .response_bytes = &bytes});
    EXPECT_EQ(body, "");
    EXPECT_TRUE(bytes.empty());
    EXPECT_EQ(status, "200 OK");
    EXPECT_EQ(returned, "a=1; b=2; X-Set-Cookie-Hint: hello; nick=" + ansi("中文"));
    EXPECT_EQ(location, "/second");
    EXPECT_NE(headers.find("\r\nSet-Cookie: a=1; path=/\r\nSet-Cookie: b=2\r\n"), std::string::npos)
        << headers;

    // The status text is taken before the folding, which then reaches the status line too; a
    // blank before the colon leaves an empty cookie entry; a Location line needs its blank.
    ReplyServer odd(
        "HTTP/1.1 200 set-cookie\r\n"
        "Set-Cookie : c=3; path=/\r\n"
        "Location:/nope\r\n"
        "Content-Length: 0\r\n\r\n");
    location = "old";
    http_request(odd.url(), {.returned_cookies = &returned,
                             .response_headers = &headers,
                             .location = &location,
                             .status_text = &status});
    EXPECT_EQ(status, "200 set-cookie");
    EXPECT_TRUE(headers.starts_with("HTTP/1.1 200 Set-Cookie\r\n")) << headers;
    EXPECT_EQ(returned, "HTTP/1.1 200 Set-Cookie; ");
    EXPECT_EQ(location, "old");

    ReplyServer plain(ok_reply);
    Text untouched = "kept";
    http_request(plain.url(), {.returned_cookies = &returned, .location = &untouched});
    EXPECT_EQ(returned, "");
    EXPECT_EQ(untouched, "kept");
}

TEST(HttpRequest, CookieMerge) {
    ReplyServer server("HTTP/1.1 200 OK\r\nSet-Cookie: b=3; path=/\r\nContent-Length: 0\r\n\r\n");
    ReplyServer none(ok_reply);
    struct Case {
        const char* name;
        ReplyServer* server;
        std::optional<Text> cookies;
        bool merge;
        Text cookies_after, returned;
    } cases[] = {
        {"merged into the given text", &server, Text("a=1; b=2"), true, "b=3; a=1", "b=3; a=1"},
        {"merge switched off", &server, Text("a=1; b=2"), false, "a=1; b=2", "b=3"},
        {"cookie variable left out", &server, {}, true, "", "b=3"},
        {"no cookie lines: the given text alone, tidied", &none, Text("x = 1; x = 1; y=deleted"),
         true, "x=1", "x=1"},
        {"given empty", &none, Text(""), true, "", ""},
    };
    for (Case& c : cases) {
        SCOPED_TRACE(c.name);
        Text cookies = c.cookies.value_or(""), returned = "stale";
        http_request(c.server->url(), {.cookies = c.cookies ? &cookies : nullptr,
                                       .returned_cookies = &returned,
                                       .merge_cookies = c.merge});
        EXPECT_EQ(cookies, c.cookies_after);
        EXPECT_EQ(returned, c.returned);
    }
}

TEST(HttpRequest, PageCharsetStep) {
    // A lone GBK lead byte before "!" is invalid: recoding turns it into "?", so the marker
    // shows whether the page went through the recoding.
    const std::string marker = "\xD6!";
    const std::string recoded = "?!";
    struct Case {
        const char* name;
        std::string head;
        bool recode;
    } cases[] = {
        {"gb2312", "<html><meta charset=\"gb2312\">", true},
        {"gbk", "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=gbk\">", true},
        {"tag and attribute in capitals", "<META CHARSET=gb2312>", true},
        {"GBK in capitals", "<meta charset=GBK>", false},
        {"utf-8", "<meta charset=utf-8>", false},
        {"no declaration", "<html><body>", false},
        {"declared after byte 1024", std::string(1100, ' ') + "<meta charset=gb2312>", false},
        // The search sees the first 1024 bytes: a name that ends at byte 1024 is whole, one
        // that runs past it is cut to "gb231".
        {"name ends at byte 1024", std::string(1004, ' ') + "<meta charset=gb2312>", true},
        {"name runs past byte 1024", std::string(1005, ' ') + "<meta charset=gb2312>", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::string content = c.head + ansi("中文") + marker;
        ReplyServer server("HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(content.size()) +
                           "\r\n\r\n" + content);
        ByteBuffer bytes;
        PumpCounter pumps;
        Text body = http_request(server.url(), {.response_bytes = &bytes});
        EXPECT_EQ(body, c.head + ansi("中文") + (c.recode ? recoded : marker));
        EXPECT_EQ(bytes, text_to_bytes(content));
        // Three header lines, the charset step, and the nine steps left on the way out.
        EXPECT_EQ(pumps.count, 3 + 1 + 9);
    }
}

TEST(HttpRequest, BodyWithAZeroByteStopsTheTextButNotTheBytes) {
    const std::string content("ab\0cd", 5);
    ReplyServer server("HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\n" + content);
    ByteBuffer bytes;
    EXPECT_EQ(http_request(server.url(), {.response_bytes = &bytes}), "ab");
    EXPECT_EQ(bytes, ByteBuffer(content.begin(), content.end()));

    // The charset search runs over the text, so a declaration behind the zero byte is not seen.
    const std::string page = std::string("<p>\0<meta charset=gb2312>", 25) + ansi("中文");
    ReplyServer hidden("HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(page.size()) +
                       "\r\n\r\n" + page);
    EXPECT_EQ(http_request(hidden.url(), {.response_bytes = &bytes}), "<p>");
    EXPECT_EQ(bytes, ByteBuffer(page.begin(), page.end()));
}

TEST(HttpRequest, RedirectsAreFollowedUnlessSwitchedOff) {
    test::LocalServer server;
    server.server().Post("/from", [](const httplib::Request&, httplib::Response& res) {
        res.set_redirect("/to", 302);
    });
    server.server().Get("/to", [](const httplib::Request&, httplib::Response& res) {
        res.set_content("arrived", "text/plain");
    });
    server.server().Get("/set", [](const httplib::Request&, httplib::Response& res) {
        res.set_header("Set-Cookie", "s=1");
        res.set_redirect("/show", 302);
    });
    server.server().Get("/show", [](const httplib::Request& req, httplib::Response& res) {
        res.set_content(req.has_header("Cookie") ? req.get_header_value("Cookie") : "<none>",
                        "text/plain");
    });
    ASSERT_TRUE(server.start());
    // A given cookie variable, even an empty one, leaves the transport's own cookie handling
    // on across a redirect; an omitted one turns it off.
    Text empty_cookies;
    EXPECT_EQ(http_request(server.url("/set"), {.cookies = &empty_cookies}), "s=1");
    EXPECT_EQ(http_request(server.url("/set")), "<none>");

    Text status, location;
    EXPECT_EQ(
        http_request(server.url("/from"),
                     {.method = 1, .body = "x=1", .location = &location, .status_text = &status}),
        "arrived");
    EXPECT_EQ(status, "200 OK");
    EXPECT_EQ(location, "");
    http_request(
        server.url("/from"),
        {.method = 1, .disable_redirects = true, .location = &location, .status_text = &status});
    EXPECT_EQ(status, "302 Found");
    EXPECT_EQ(location, "/to");
}

TEST(HttpRequest, ProxyAndCredentials) {
    ReplyServer proxy(ok_reply);
    // A plain http address goes through the proxy as "http=" names it: the request line
    // carries the whole address. Nothing leaves this machine.
    Text status;
    http_request("http://tavolen.invalid/x?y=1",
                 {.user_name = "u",
                  .password = "p",
                  .proxy = "127.0.0.1:" + std::to_string(proxy.port()),
                  .proxy_user_name = "pu",
                  .proxy_password = "pp",
                  .status_text = &status});
    EXPECT_EQ(status, "200 OK");
    EXPECT_EQ(proxy.request_line(), "GET http://tavolen.invalid/x?y=1 HTTP/1.1");
    EXPECT_EQ(proxy.header("Authorization"), "Basic dTpw");
    EXPECT_EQ(proxy.header("Proxy-Authorization"), "Basic cHU6cHA=");

    // An https address names the proxy as given: the transfer asks it for a tunnel.
    http_request("https://tavolen.invalid/x",
                 {.proxy = "127.0.0.1:" + std::to_string(proxy.port()), .status_text = &status});
    EXPECT_EQ(proxy.request_line(), "CONNECT tavolen.invalid:443 HTTP/1.1");
    EXPECT_EQ(utf8(status), "711 发送请求失败!");  // what came back is no TLS

    ReplyServer server(ok_reply);
    http_request(server.url(), {.user_name = "u", .password = "", .proxy_user_name = "pu"});
    EXPECT_EQ(server.header("Authorization"), "<none>");
    EXPECT_EQ(server.header("Proxy-Authorization"), "<none>");
}

TEST(HttpRequest, FailuresReportTheirNumberAndPumpCount) {
    ReplyServer ok(ok_reply);
    test::RawServer silent([](test::RawConnection& c) {
        c.read_request();
        c.wait_for_close();
    });
    const std::string refused = "http://127.0.0.1:" + std::to_string(test::closed_port()) + "/";
    struct Case {
        const char* name;
        std::string url;
        Text extra;
        const char* status;
        int pumps;
    } cases[] = {
        {"empty address", "", "", "701 解析URL地址失败!", 1},
        {"not http", "ftp://127.0.0.1/", "", "701 解析URL地址失败!", 1},
        {"bad port", "http://127.0.0.1:99999/", "", "701 解析URL地址失败!", 1},
        {"malformed header line", ok.url(), "no colon here", "710 设置协议头失败!", 6},
        {"header line with a line break inside", ok.url(), "X-A: 1\rX-B: 2", "710 设置协议头失败!",
         6},
        {"connection refused", refused, "", "711 发送请求失败!", 7},
        {"no answer within the timeout", silent.url(), "", "712 服务器未响应!", 8},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Text status = "before", headers = "before", location = "before", returned = "before",
             cookies = "c=1";
        ByteBuffer bytes = {1};
        PumpCounter pumps;
        Text body = http_request(c.url, {.cookies = &cookies,
                                         .returned_cookies = &returned,
                                         .extra_headers = c.extra,
                                         .response_headers = &headers,
                                         .timeout_seconds = 1,
                                         .location = &location,
                                         .status_text = &status,
                                         .response_bytes = &bytes});
        EXPECT_EQ(body, "");
        EXPECT_EQ(utf8(status), c.status);
        EXPECT_EQ(pumps.count, c.pumps);
        // Nothing else is touched.
        EXPECT_EQ(headers, "before");
        EXPECT_EQ(location, "before");
        EXPECT_EQ(returned, "before");
        EXPECT_EQ(cookies, "c=1");
        EXPECT_EQ(bytes, ByteBuffer{1});
    }
}

TEST(HttpRequest, CallsOnSeveralThreadsAtOnceShareNothing) {
    test::LocalServer server;
    server.server().Post("/echo", [](const httplib::Request& req, httplib::Response& res) {
        res.set_content(req.body, "text/plain");
    });
    ASSERT_TRUE(server.start());
    PumpCounter ui_thread_pumps;  // the hook is per thread: the workers do not reach it
    std::atomic<int> wrong{0};
    std::vector<std::thread> workers;
    for (int t = 0; t < 4; ++t) {
        workers.emplace_back([&, t] {
            for (int i = 0; i < 25; ++i) {
                const Text body = "t" + std::to_string(t) + "-" + std::to_string(i);
                if (http_request(server.url("/echo"), {.method = 1, .body = body}) != body) ++wrong;
            }
        });
    }
    for (auto& w : workers) w.join();
    EXPECT_EQ(wrong, 0);
    EXPECT_EQ(ui_thread_pumps.count, 0);
}

TEST(HttpRequest, HttpsToAnUntrustedCertificateFailsAtSend) {
    test::TlsServer server;
    std::atomic<int> served{0};
    ASSERT_NE(server.server(), nullptr);
    server.server()->Get("/", [&](const httplib::Request&, httplib::Response& res) {
        ++served;
        res.set_content("secret", "text/plain");
    });
    ASSERT_TRUE(server.start());
    Text status;
    PumpCounter pumps;
    EXPECT_EQ(http_request(server.url(), {.status_text = &status}), "");
    EXPECT_EQ(utf8(status), "711 发送请求失败!");
    EXPECT_EQ(pumps.count, 7);
    EXPECT_EQ(served, 0);
}

TEST(HttpRequest, BodyCutShortIsAReadFailureWithTheBytesSoFar) {
    test::RawServer cut([](test::RawConnection& c) {
        c.read_request();
        c.send("HTTP/1.1 200 OK\r\nSet-Cookie: s=1\r\nContent-Length: 100\r\n\r\npartial");
    });
    Text status, returned;
    ByteBuffer bytes;
    PumpCounter pumps;
    Text body = http_request(
        cut.url(),
        {.returned_cookies = &returned, .status_text = &status, .response_bytes = &bytes});
    EXPECT_EQ(utf8(status), "713 读取数据失败!");
    EXPECT_EQ(body, "partial");
    EXPECT_EQ(bytes, text_to_bytes("partial"));
    EXPECT_EQ(returned, "s=1");  // the head was complete, so it is analysed
    EXPECT_EQ(pumps.count, 4 + 1 + 9);
}

TEST(HttpRequest, BodyLargerThanTheCapEndsAsAReadFailure) {
    test::RawServer flood([](test::RawConnection& c) {
        c.read_request();
        c.send("HTTP/1.1 200 OK\r\n\r\n");  // no length: the body runs until the server stops
        const std::string block(1 << 20, 'f');
        while (c.send(block)) {
        }
    });
    Text status;
    ByteBuffer bytes;
    Text body = http_request(flood.url(), {.status_text = &status, .response_bytes = &bytes});
    EXPECT_EQ(utf8(status), "713 读取数据失败!");
    EXPECT_EQ(bytes.size(), 64u << 20);
    EXPECT_EQ(body.size(), 64u << 20);
}

// No timeout would end these requests within the test's life: only the cancel does.
TEST(HttpRequest, CancelFromAnotherThreadEndsTheRequestAsTheWaitingStepFails) {
    enum class Server { silent, stalls_in_body, drips_body };
    struct Case {
        const char* name;
        Server kind;
        const char* status;
        Text body_start;
        int timeout_seconds = 100000;
        int cancel_after_ms = 100;
    } cases[] = {
        {"waiting for the answer", Server::silent, "712 服务器未响应!", ""},
        {"waiting for the body", Server::stalls_in_body, "713 读取数据失败!", "abc"},
        {"body dripped byte by byte", Server::drips_body, "713 读取数据失败!", "dd"},
        // 4294968 s in milliseconds does not fit 32 bits; wrapped, it would be 704 ms.
        {"a timeout too large for 32-bit milliseconds", Server::silent, "712 服务器未响应!", "",
         4294968, 1500},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::atomic<bool> answered{false};
        test::RawServer server([&](test::RawConnection& conn) {
            conn.read_request();
            if (c.kind == Server::stalls_in_body)
                conn.send("HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\nabc");
            if (c.kind == Server::drips_body) {
                conn.send("HTTP/1.1 200 OK\r\nContent-Length: 100000\r\n\r\ndd");
                answered = true;
                while (conn.send("d") && conn.pause_ms(10)) {
                }
                return;
            }
            answered = true;
            conn.wait_for_close();
        });
        auto token = net::make_cancel_token();
        std::thread canceller([&] {
            while (!answered) std::this_thread::sleep_for(std::chrono::milliseconds(1));
            std::this_thread::sleep_for(std::chrono::milliseconds(c.cancel_after_ms));
            token->cancel();
        });
        Text status;
        Text body = http_request(
            server.url(),
            {.timeout_seconds = c.timeout_seconds, .status_text = &status, .cancel = token});
        const bool ended_by_cancel = token->cancelled();
        canceller.join();
        EXPECT_TRUE(ended_by_cancel);
        EXPECT_EQ(utf8(status), c.status);
        EXPECT_TRUE(body.starts_with(c.body_start)) << body;
        if (c.kind != Server::drips_body) {
            EXPECT_EQ(body, c.body_start);
        }
    }
    // A token tripped before the call stops it at the send step.
    auto tripped = net::make_cancel_token();
    tripped->cancel();
    ReplyServer ok(ok_reply);
    Text status;
    EXPECT_EQ(http_request(ok.url(), {.status_text = &status, .cancel = tripped}), "");
    EXPECT_EQ(utf8(status), "711 发送请求失败!");
}

}  // namespace
}  // namespace tavolen
