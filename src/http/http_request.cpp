#include "http/http_request.h"

#include <algorithm>
#include <climits>

#include "http/message_pump.h"
#include "http/response_steps.h"
#include "platform/net/net.h"
#include "regex/regex_object.h"
#include "text/encoding.h"

namespace tavolen {

namespace http_error {
// The texts are code page 936 bytes; each comment gives the text.
const std::string_view platform =  // 700 当前系统不支持WinHttp服务!
    "700 \xB5\xB1\xC7\xB0\xCF\xB5\xCD\xB3\xB2\xBB\xD6\xA7\xB3\xD6WinHttp\xB7\xFE\xCE\xF1!";
const std::string_view bad_url =  // 701 解析URL地址失败!
    "701 \xBD\xE2\xCE\xF6URL\xB5\xD8\xD6\xB7\xCA\xA7\xB0\xDC!";
const std::string_view session =  // 702 创建WinHttp会话失败!
    "702 \xB4\xB4\xBD\xA8WinHttp\xBB\xE1\xBB\xB0\xCA\xA7\xB0\xDC!";
const std::string_view connection =  // 703 创建WinHttp连接失败!
    "703 \xB4\xB4\xBD\xA8WinHttp\xC1\xAC\xBD\xD3\xCA\xA7\xB0\xDC!";
const std::string_view request =  // 704 创建WinHttp请求失败!
    "704 \xB4\xB4\xBD\xA8WinHttp\xC7\xEB\xC7\xF3\xCA\xA7\xB0\xDC!";
const std::string_view timeouts =  // 705 设置超时时间失败!
    "705 \xC9\xE8\xD6\xC3\xB3\xAC\xCA\xB1\xCA\xB1\xBC\xE4\xCA\xA7\xB0\xDC!";
const std::string_view credentials =  // 707 设置代理凭证失败!
    "707 \xC9\xE8\xD6\xC3\xB4\xFA\xC0\xED\xC6\xBE\xD6\xA4\xCA\xA7\xB0\xDC!";
const std::string_view cookie_option =  // 708 禁止自动设置Cookies失败!
    "708 \xBD\xFB\xD6\xB9\xD7\xD4\xB6\xAF\xC9\xE8\xD6\xC3"
    "Cookies\xCA\xA7\xB0\xDC!";
const std::string_view redirect_option =  // 709 重定向设置失败!
    "709 \xD6\xD8\xB6\xA8\xCF\xF2\xC9\xE8\xD6\xC3\xCA\xA7\xB0\xDC!";
const std::string_view headers =  // 710 设置协议头失败!
    "710 \xC9\xE8\xD6\xC3\xD0\xAD\xD2\xE9\xCD\xB7\xCA\xA7\xB0\xDC!";
const std::string_view send =  // 711 发送请求失败!
    "711 \xB7\xA2\xCB\xCD\xC7\xEB\xC7\xF3\xCA\xA7\xB0\xDC!";
const std::string_view no_response =  // 712 服务器未响应!
    "712 \xB7\xFE\xCE\xF1\xC6\xF7\xCE\xB4\xCF\xEC\xD3\xA6!";
const std::string_view read =  // 713 读取数据失败!
    "713 \xB6\xC1\xC8\xA1\xCA\xFD\xBE\xDD\xCA\xA7\xB0\xDC!";
}  // namespace http_error

namespace {

std::u16string_view verb_of(int method) {
    switch (method) {
        case 1:
            return u"POST";
        case 2:
            return u"HEAD";
        case 3:
            return u"PUT";
        case 4:
            return u"OPTIONS";
        case 5:
            return u"DELETE";
        case 6:
            return u"TRACE";
        case 7:
            return u"CONNECT";
        default:
            return u"GET";
    }
}

// The caller's extra lines, then each default line whose name the text does not yet hold.
// The tests are plain substring searches, as callers have always relied on.
Text build_header_text(const HttpRequestOptions& o) {
    Text text = o.extra_headers;
    if (!text.empty()) text += "\r\n";
    auto add_unless = [&text](std::string_view test, bool ignore_case, std::string_view line) {
        if (find_text(text, test, 1, ignore_case) == -1) text += line;
    };
    add_unless("User-Agent: ", true,
               "User-Agent: Mozilla/5.0 (compatible; MSIE 9.0; Windows NT 6.1; WOW64; "
               "Trident/5.0)\r\n");
    add_unless("Accept: ", true, "Accept: text/html, application/xhtml+xml, */*\r\n");
    add_unless("Accept-Encoding: ", true, "Accept-Encoding: gbk, GB2312\r\n");
    add_unless("Accept-Language: ", true, "Accept-Language: zh-cn\r\n");
    if (o.method == 1)
        add_unless("Content-Type:", false, "Content-Type: application/x-www-form-urlencoded\r\n");
    add_unless("Cache-Control: ", true, "Cache-Control: no-cache\r\n");
    if (o.cookies && !o.cookies->empty())
        add_unless("Cookie: ", true, concat_text("Cookie: ", *o.cookies, "\r\n"));
    return text;
}

std::u16string wide(std::string_view text) {
    return ansi_to_u16string(text);
}

struct Handles {
    net::Internet session = nullptr, connection = nullptr, request = nullptr;
    // Closed in the reverse order of opening.
    void close() {
        net::close_handle(request);
        net::close_handle(connection);
        net::close_handle(session);
        request = connection = session = nullptr;
    }
    ~Handles() { close(); }
};

}  // namespace

Text http_request(std::string_view url, const HttpRequestOptions& o) {
    RegexObject regex;
    Text scratch_status, scratch_headers, scratch_cookies, scratch_location;
    ByteBuffer scratch_bytes;
    Text& status_text = o.status_text ? *o.status_text : scratch_status;
    Text& response_headers = o.response_headers ? *o.response_headers : scratch_headers;
    Text& returned_cookies = o.returned_cookies ? *o.returned_cookies : scratch_cookies;
    Text& location = o.location ? *o.location : scratch_location;
    ByteBuffer& response_bytes = o.response_bytes ? *o.response_bytes : scratch_bytes;

    Text result;
    Handles h;
    if (!net::check_platform()) {
        status_text = http_error::platform;
        return result;
    }
    const std::u16string wide_url = wide(url);
    net::UrlComponents parts;
    if (net::crack_url(wide_url, parts)) {
        const bool secure = parts.scheme == net::scheme_https;
        std::u16string object_name = u"/";
        if (!parts.url_path.empty()) {
            object_name = parts.url_path;
            object_name += parts.extra_info;
        }
        const std::u16string host(parts.host_name);
        std::u16string proxy_name;
        if (!o.proxy.empty()) proxy_name = wide(secure ? o.proxy : concat_text("http=", o.proxy));
        h.session = net::open_session(
            {}, o.proxy.empty() ? net::access_type_no_proxy : net::access_type_named_proxy,
            proxy_name);
        if (h.session) {
            h.connection = net::connect(h.session, host, parts.port);
            if (h.connection) {
                h.request = net::open_request(h.connection, verb_of(o.method), object_name,
                                              secure ? net::flag_secure : 0);
                if (h.request) {
                    if (o.cancel) net::set_cancel_token(h.request, o.cancel);
                    // Worked out in 64 bits: a large count of seconds must not wrap into a
                    // short or negative timeout. The longest is INT_MAX ms, about 24 days.
                    const int t = o.timeout_seconds > 0 ? static_cast<int>(std::min<long long>(
                                                              o.timeout_seconds * 1000LL, INT_MAX))
                                                        : 30000;
                    if (net::set_timeouts(h.request, t, t, t, t)) {
                        // These three fail at once, without the steps around them.
                        auto give_up = [&](std::string_view error) {
                            status_text = error;
                            h.close();
                            return Text();
                        };
                        if (!o.user_name.empty() && !o.password.empty() &&
                            !net::set_credentials(h.request, net::auth_target_server,
                                                  net::auth_scheme_basic, wide(o.user_name),
                                                  wide(o.password)))
                            return give_up(http_error::credentials);
                        if (!o.proxy_user_name.empty() && !o.proxy_password.empty() &&
                            !net::set_credentials(h.request, net::auth_target_proxy,
                                                  net::auth_scheme_basic, wide(o.proxy_user_name),
                                                  wide(o.proxy_password)))
                            return give_up(http_error::credentials);
                        const bool option_set =
                            o.cookies ? net::set_option(h.request, net::option_enable_feature,
                                                        net::enable_ssl_revocation)
                                      : net::set_option(h.request, net::option_disable_feature,
                                                        net::disable_cookies);
                        if (!option_set) return give_up(http_error::cookie_option);
                        if (o.disable_redirects &&
                            !net::set_option(h.request, net::option_disable_feature,
                                             net::disable_redirects))
                            return give_up(http_error::redirect_option);

                        const Text header_text = build_header_text(o);
                        if (net::add_request_headers(
                                h.request, wide(header_text),
                                net::addreq_flag_add | net::addreq_flag_replace)) {
                            const ByteBuffer body = text_to_bytes(o.body);
                            if (net::send_request(h.request, body,
                                                  static_cast<std::uint32_t>(body.size()))) {
                                if (net::receive_response(h.request)) {
                                    ByteBuffer received;
                                    bool read_failed = false;
                                    for (;;) {
                                        std::uint32_t n = 0;
                                        if (!net::query_data_available(h.request, n) || n < 1)
                                            break;
                                        // Read straight into the tail of the body buffer.
                                        const std::size_t before = received.size();
                                        received.resize(before + n);
                                        std::uint32_t got = 0;
                                        const bool ok = net::read_data(
                                            h.request, received.data() + before, n, got);
                                        received.resize(before + (ok ? got : 0));
                                        if (!ok) {
                                            status_text = http_error::read;
                                            read_failed = true;
                                            break;
                                        }
                                    }
                                    std::uint32_t size = 0, index = 0;
                                    net::query_headers(h.request, net::query_raw_headers_crlf,
                                                       nullptr, size, index);
                                    ByteBuffer header_buffer = blank_bytes(static_cast<int>(size));
                                    index = 0;
                                    if (net::query_headers(h.request, net::query_raw_headers_crlf,
                                                           header_buffer.data(), size, index)) {
                                        analyse_headers(
                                            header_buffer,
                                            {&response_headers, &status_text, &returned_cookies,
                                             &location, o.cookies, o.merge_cookies});
                                        // A body that broke off stays reported as such.
                                        if (read_failed) status_text = http_error::read;
                                        result = bytes_to_text(received);
                                        result =
                                            apply_page_charset(regex, std::move(result), received);
                                        // The caller's copy; moved, as the body is not needed
                                        // any more (it may be up to 64 MiB).
                                        response_bytes = std::move(received);
                                    }
                                    pump_messages();
                                } else {
                                    status_text = http_error::no_response;
                                }
                                pump_messages();
                            } else {
                                status_text = http_error::send;
                            }
                            pump_messages();
                        } else {
                            status_text = http_error::headers;
                        }
                        pump_messages();
                    } else {
                        status_text = http_error::timeouts;
                    }
                    pump_messages();
                } else {
                    status_text = http_error::request;
                }
                pump_messages();
            } else {
                status_text = http_error::connection;
            }
            pump_messages();
        } else {
            status_text = http_error::session;
        }
        pump_messages();
    } else {
        status_text = http_error::bad_url;
    }
    pump_messages();
    h.close();
    return result;
}

}  // namespace tavolen
