#include "platform/net/net.h"

#include <curl/curl.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/codepage/codepage.h"

namespace tavolen::net {

namespace {

using Clock = std::chrono::steady_clock;

bool ascii_iequal(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        unsigned char x = a[i], y = b[i];
        if (x >= 'A' && x <= 'Z') x += 32;
        if (y >= 'A' && y <= 'Z') y += 32;
        if (x != y) return false;
    }
    return true;
}

bool iequal16(std::u16string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        char16_t x = a[i];
        if (x >= u'A' && x <= u'Z') x += 32;
        if (x != static_cast<unsigned char>(b[i])) return false;
    }
    return true;
}

std::string to_utf8(std::u16string_view s) {
    return codepage::wide_char_to_multi_byte(codepage::cp_utf8, s);
}

// Header texts and header values are the system's code page 936 bytes on the wire.
std::string to_ansi(std::u16string_view s) {
    return codepage::wide_char_to_multi_byte(codepage::cp_gbk, s);
}

// Characters a request target may not carry as they are go out percent-escaped (UTF-8), as the
// platform's own request API does by default.
std::string escape_target(std::u16string_view object_name) {
    static const char hex[] = "0123456789ABCDEF";
    std::string utf8 = to_utf8(object_name);
    std::string out;
    out.reserve(utf8.size());
    for (unsigned char c : utf8) {
        if (c <= 0x20 || c >= 0x7F || c == '"' || c == '<' || c == '>' || c == '\\' || c == '^' ||
            c == '`' || c == '{' || c == '|' || c == '}') {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 15];
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

// Initialised once and never cleaned up: a worker may still be inside a transfer while the
// process ends, and a cleanup at exit would pull the library out from under it.
bool curl_ready() {
    static const bool ok = curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK;
    return ok;
}

}  // namespace

class Handle {
  public:
    enum class Kind { session, connection, request };
    explicit Handle(Kind k) : kind(k) {}
    virtual ~Handle() = default;
    const Kind kind;
};

namespace {

struct Session : Handle {
    Session() : Handle(Kind::session) {}
    int access_type = access_type_no_proxy;
    std::string http_proxy;   // for http URLs; empty: none
    std::string https_proxy;  // for https URLs; empty: none
};

struct Connection : Handle {
    Connection() : Handle(Kind::connection) {}
    std::string http_proxy, https_proxy;
    std::string host;  // UTF-8, brackets added for an IPv6 literal
    std::uint16_t port = 0;
};

struct HeaderLine {
    std::string name, value;
};

struct Request : Handle {
    Request() : Handle(Kind::request) {}
    ~Request() override {
        if (token && waker_id) token->remove_waker(waker_id);
        if (multi && easy) curl_multi_remove_handle(multi, easy);
        if (easy) curl_easy_cleanup(easy);
        if (multi) curl_multi_cleanup(multi);
        if (header_list) curl_slist_free_all(header_list);
    }

    // Set-up.
    std::string url, verb, proxy;
    bool secure = false;
    int resolve_ms = 0, connect_ms = 60000, send_ms = 30000, receive_ms = 30000;
    std::optional<std::pair<std::string, std::string>> server_credentials, proxy_credentials;
    bool cookies = true, redirects = true;
    std::vector<HeaderLine> headers;
    CancelTokenPtr token;
    std::uint64_t waker_id = 0;

    // Transfer.
    CURL* easy = nullptr;
    CURLM* multi = nullptr;
    curl_slist* header_list = nullptr;
    std::vector<std::uint8_t> body;
    std::size_t body_taken = 0;
    bool sent_started = false;  // send_request succeeded
    bool connected = false;
    bool done = false;
    CURLcode result = CURLE_OK;
    bool failed = false;  // a step failed: the request is unusable from now on
    Clock::time_point progress;

    // Response.
    bool received = false;
    bool headers_final = false;
    bool head_ended = false;     // the blank line of the final head has arrived
    bool after_interim = false;  // the last complete head was an interim 1xx
    bool head_too_big = false;
    int status = 0;
    bool has_location = false;
    std::string raw_headers;  // bytes of the current response head, CRLF lines
    std::string pending;      // body bytes not yet read
    std::size_t pending_at = 0;
    std::uint64_t body_total = 0;
    bool capped = false;
    bool body_broken = false;  // timeout or cancel while waiting for body bytes

    bool cancelled() const { return token && token->cancelled(); }
    std::size_t pending_size() const { return pending.size() - pending_at; }
};

Request* as_request(Internet h) {
    return h && h->kind == Handle::Kind::request ? static_cast<Request*>(h) : nullptr;
}

std::size_t on_header(char* data, std::size_t size, std::size_t count, void* user) {
    auto* r = static_cast<Request*>(user);
    std::size_t n = size * count;
    std::string_view line(data, n);
    // Once the final head has ended, what still comes here is trailer lines after a chunked
    // body; none of them is part of the head, whatever it looks like.
    if (r->head_ended) return n;
    if (line.starts_with("HTTP/")) {
        // A new response head: an interim 1xx or a redirect that is being followed went
        // before it; only the last head counts.
        r->raw_headers.clear();
        r->has_location = false;
        r->headers_final = false;
        r->head_ended = false;
        // Each followed redirect gets the whole receive timeout for its answer; interim 1xx
        // heads do not, so that a server sending them without end still times out.
        if (!r->after_interim) r->progress = Clock::now();
        r->status = 0;
        std::size_t blank = line.find(' ');
        for (std::size_t i = blank + 1; blank != std::string_view::npos && i < line.size() &&
                                        line[i] >= '0' && line[i] <= '9' && i < blank + 4;
             ++i)
            r->status = r->status * 10 + (line[i] - '0');
    }
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.remove_suffix(1);
    if (r->raw_headers.size() + line.size() + 2 > max_header_bytes) {
        r->head_too_big = true;
        return 0;
    }
    r->raw_headers.append(line);
    r->raw_headers += "\r\n";
    if (line.empty()) {
        bool interim = r->status >= 100 && r->status < 200;
        bool followed = r->redirects && r->status >= 300 && r->status < 400 && r->has_location;
        r->after_interim = interim;
        if (!interim && !followed) r->headers_final = r->head_ended = true;
    } else if (line.size() > 9 && ascii_iequal(line.substr(0, 9), "location:")) {
        std::string_view value = line.substr(9);
        r->has_location = value.find_first_not_of(" \t") != std::string_view::npos;
    }
    return n;
}

std::size_t on_body(char* data, std::size_t size, std::size_t count, void* user) {
    auto* r = static_cast<Request*>(user);
    std::size_t n = size * count;
    r->headers_final = true;
    r->progress = Clock::now();
    std::uint64_t room = max_body_bytes - r->body_total;
    if (n > room) {
        // Keep what fits, then stop the transfer: a hostile or broken server must not fill
        // the machine's memory.
        r->pending.append(data, static_cast<std::size_t>(room));
        r->body_total += room;
        r->capped = true;
        return 0;
    }
    if (r->pending_at > 0 && r->pending_at == r->pending.size()) {
        r->pending.clear();
        r->pending_at = 0;
    }
    r->pending.append(data, n);
    r->body_total += n;
    return n;
}

std::size_t on_read(char* buffer, std::size_t size, std::size_t count, void* user) {
    auto* r = static_cast<Request*>(user);
    std::size_t n = std::min(size * count, r->body.size() - r->body_taken);
    if (n) std::memcpy(buffer, r->body.data() + r->body_taken, n);
    r->body_taken += n;
    r->progress = Clock::now();
    return n;
}

int on_seek(void* user, curl_off_t offset, int origin) {
    // Redirects that keep the body (307, 308) and authentication retries rewind it.
    auto* r = static_cast<Request*>(user);
    if (origin != SEEK_SET || offset < 0 || static_cast<std::size_t>(offset) > r->body.size())
        return CURL_SEEKFUNC_FAIL;
    r->body_taken = static_cast<std::size_t>(offset);
    return CURL_SEEKFUNC_OK;
}

int on_prereq(void* user, char*, char*, int, int) {
    static_cast<Request*>(user)->connected = true;
    return CURL_PREREQFUNC_OK;
}

// Drives the transfer until ready() holds, the transfer ends, the deadline passes or the
// token is tripped. Answers false on deadline or cancel.
template <typename Ready>
bool drive(Request& r, Ready ready, int limit_ms, bool idle_limit) {
    Clock::time_point start = Clock::now();
    for (;;) {
        if (r.cancelled()) return false;
        if (!r.done) {
            int running = 0;
            curl_multi_perform(r.multi, &running);
            int queued = 0;
            while (CURLMsg* msg = curl_multi_info_read(r.multi, &queued)) {
                if (msg->msg == CURLMSG_DONE) {
                    r.done = true;
                    r.result = msg->data.result;
                }
            }
        }
        if (ready() || r.done) return true;
        if (r.cancelled()) return false;
        int wait_ms = 1000;
        if (limit_ms > 0) {
            Clock::time_point from = idle_limit ? std::max(start, r.progress) : start;
            auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                            from + std::chrono::milliseconds(limit_ms) - Clock::now())
                            .count();
            if (left <= 0) return false;
            wait_ms = static_cast<int>(std::min<long long>(left, wait_ms));
        }
        curl_multi_poll(r.multi, nullptr, 0, wait_ms, nullptr);
    }
}

std::optional<HeaderLine> parse_header_line(std::string_view line) {
    std::size_t colon = line.find(':');
    if (colon == std::string_view::npos || colon == 0) return std::nullopt;
    std::string_view name = line.substr(0, colon);
    for (unsigned char c : name) {
        // A token: visible ASCII without separators.
        if (c <= 0x20 || c >= 0x7F || std::strchr("()<>@,;:\\\"/[]?={}", c)) return std::nullopt;
    }
    std::string_view value = line.substr(colon + 1);
    for (unsigned char c : value)
        if ((c < 0x20 && c != '\t') || c == 0x7F) return std::nullopt;
    while (!value.empty() && (value.front() == ' ' || value.front() == '\t'))
        value.remove_prefix(1);
    while (!value.empty() && (value.back() == ' ' || value.back() == '\t')) value.remove_suffix(1);
    return HeaderLine{std::string(name), std::string(value)};
}

// Bodies up to this size are handed to the transport whole; larger ones are read from the
// request as the transport sends them, so that the send timeout watches their progress.
constexpr std::size_t small_body_bytes = 16 * 1024;

bool start_transfer(Request& r) {
    r.multi = curl_multi_init();
    r.easy = curl_easy_init();
    if (!r.multi || !r.easy) return false;
    CURL* e = r.easy;
    bool ok = true;
    auto set = [&](CURLoption option, auto value) {
        ok = ok && curl_easy_setopt(e, option, value) == CURLE_OK;
    };
    set(CURLOPT_URL, r.url.c_str());
    set(CURLOPT_PROTOCOLS_STR, "http,https");
    set(CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    set(CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_1));
    set(CURLOPT_NOSIGNAL, 1L);
    // Only the session's proxy counts: "" keeps the environment's proxy and no_proxy
    // variables out.
    set(CURLOPT_PROXY, r.proxy.c_str());
    set(CURLOPT_NOPROXY, "");
    // The proxy's answer to a tunnel request is no response head of this request: left in, its
    // "200 Connection established" would count as the final head before the server answered.
    set(CURLOPT_SUPPRESS_CONNECT_HEADERS, 1L);
    set(CURLOPT_HEADERFUNCTION, &on_header);
    set(CURLOPT_HEADERDATA, static_cast<void*>(&r));
    set(CURLOPT_WRITEFUNCTION, &on_body);
    set(CURLOPT_WRITEDATA, static_cast<void*>(&r));
    set(CURLOPT_PREREQFUNCTION, &on_prereq);
    set(CURLOPT_PREREQDATA, static_cast<void*>(&r));
    if (r.redirects) {
        set(CURLOPT_FOLLOWLOCATION, 1L);
        set(CURLOPT_MAXREDIRS, 10L);
    }
    if (r.cookies) set(CURLOPT_COOKIEFILE, "");  // an empty jar for this request alone
    if (r.resolve_ms > 0 || r.connect_ms > 0) {
        long ms = (r.resolve_ms > 0 && r.connect_ms > 0) ? long(r.resolve_ms) + r.connect_ms
                                                         : std::max(r.resolve_ms, r.connect_ms);
        set(CURLOPT_CONNECTTIMEOUT_MS, ms);
    }
    if (r.server_credentials) {
        set(CURLOPT_HTTPAUTH, static_cast<long>(CURLAUTH_BASIC));
        set(CURLOPT_USERNAME, r.server_credentials->first.c_str());
        set(CURLOPT_PASSWORD, r.server_credentials->second.c_str());
    }
    if (r.proxy_credentials) {
        set(CURLOPT_PROXYAUTH, static_cast<long>(CURLAUTH_BASIC));
        set(CURLOPT_PROXYUSERNAME, r.proxy_credentials->first.c_str());
        set(CURLOPT_PROXYPASSWORD, r.proxy_credentials->second.c_str());
    }

    bool has_body = !r.body.empty();
    if (r.verb == "HEAD") {
        set(CURLOPT_NOBODY, 1L);
    } else if (r.verb == "GET" && !has_body) {
        set(CURLOPT_HTTPGET, 1L);
    } else {
        // Any verb may carry a body; it goes with a Content-Length and nothing else added.
        set(CURLOPT_POST, 1L);
        set(CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(r.body.size()));
        if (r.body.size() <= small_body_bytes) {
            // Goes out in the same write as the request head, once connected.
            set(CURLOPT_POSTFIELDS, static_cast<const void*>(r.body.data()));
            r.body_taken = r.body.size();
        } else {
            set(CURLOPT_READFUNCTION, &on_read);
            set(CURLOPT_READDATA, static_cast<void*>(&r));
            set(CURLOPT_SEEKFUNCTION, &on_seek);
            set(CURLOPT_SEEKDATA, static_cast<void*>(&r));
        }
        if (r.verb != "POST") set(CURLOPT_CUSTOMREQUEST, r.verb.c_str());
    }

    // The transport adds nothing the caller did not ask for: its own Accept, Expect and
    // Content-Type lines are switched off unless the caller sent them.
    bool has_accept = false, has_type = false;
    for (const HeaderLine& h : r.headers) {
        has_accept = has_accept || ascii_iequal(h.name, "accept");
        has_type = has_type || ascii_iequal(h.name, "content-type");
        std::string line = h.name + ": " + h.value;
        curl_slist* next = curl_slist_append(r.header_list, line.c_str());
        if (!next) return false;
        r.header_list = next;
    }
    for (const char* off : {"Expect:", "Accept:", "Content-Type:"}) {
        if ((off[0] == 'A' && has_accept) || (off[0] == 'C' && has_type)) continue;
        curl_slist* next = curl_slist_append(r.header_list, off);
        if (!next) return false;
        r.header_list = next;
    }
    set(CURLOPT_HTTPHEADER, r.header_list);
    if (!ok) return false;
    if (curl_multi_add_handle(r.multi, r.easy) != CURLM_OK) return false;
    if (r.token) {
        CURLM* multi = r.multi;
        r.waker_id = r.token->add_waker([multi] { curl_multi_wakeup(multi); });
        if (r.waker_id == 0) return false;  // already cancelled
    }
    return true;
}

// Once the request went out on its connection (resolution, connect and TLS are done by then),
// only these errors still belong to the send step. Anything else that ended the transfer came
// from the answer, or from a redirect followed while receiving it: a server answering
// "hello" (HTTP/0.9, which curl calls an unsupported protocol) fails the receive step, also
// when its answer arrives before the send step has returned.
bool is_send_phase_error(CURLcode code) {
    switch (code) {
        case CURLE_SEND_ERROR:
        case CURLE_ABORTED_BY_CALLBACK:
        case CURLE_READ_ERROR:
            return true;
        default:
            return false;
    }
}

std::string pick_proxy(std::u16string_view list, bool secure) {
    // Entries "host:port" apply to every scheme, "http=host:port" / "https=host:port" to one.
    std::string any, http, https;
    std::string text = to_utf8(list);
    std::size_t i = 0;
    while (i < text.size()) {
        std::size_t end = text.find_first_of("; \t", i);
        if (end == std::string::npos) end = text.size();
        std::string entry = text.substr(i, end - i);
        i = end + 1;
        if (entry.empty()) continue;
        std::size_t eq = entry.find('=');
        if (eq == std::string::npos) {
            if (any.empty()) any = entry;
        } else {
            std::string scheme = entry.substr(0, eq), target = entry.substr(eq + 1);
            if (ascii_iequal(scheme, "http") && http.empty()) http = target;
            if (ascii_iequal(scheme, "https") && https.empty()) https = target;
        }
    }
    std::string chosen = secure ? (https.empty() ? any : https) : (http.empty() ? any : http);
    // The named proxy is reached over plain HTTP.
    if (!chosen.empty() && chosen.find("://") == std::string::npos) chosen = "http://" + chosen;
    return chosen;
}

}  // namespace

bool check_platform() {
    if (!curl_ready()) return false;
    const curl_version_info_data* info = curl_version_info(CURLVERSION_NOW);
    if (!info || !info->protocols) return false;
    for (const char* const* p = info->protocols; *p; ++p)
        if (std::strcmp(*p, "http") == 0) return true;
    return false;
}

bool crack_url(std::u16string_view url, UrlComponents& parts) {
    UrlComponents out;
    std::size_t colon = url.find(u"://");
    if (colon == std::u16string_view::npos) return false;
    out.scheme_name = url.substr(0, colon);
    if (iequal16(out.scheme_name, "http")) {
        out.scheme = scheme_http;
        out.port = 80;
    } else if (iequal16(out.scheme_name, "https")) {
        out.scheme = scheme_https;
        out.port = 443;
    } else {
        return false;
    }
    std::u16string_view rest = url.substr(colon + 3);
    std::size_t authority_end = rest.find_first_of(u"/?#");
    if (authority_end == std::u16string_view::npos) authority_end = rest.size();
    std::u16string_view authority = rest.substr(0, authority_end);
    std::u16string_view tail = rest.substr(authority_end);

    std::size_t at = authority.rfind(u'@');
    if (at != std::u16string_view::npos) {
        std::u16string_view user_info = authority.substr(0, at);
        authority = authority.substr(at + 1);
        std::size_t c = user_info.find(u':');
        out.user_name = user_info.substr(0, c);
        if (c != std::u16string_view::npos) out.password = user_info.substr(c + 1);
    }
    std::u16string_view port_text;
    if (!authority.empty() && authority.front() == u'[') {
        std::size_t close = authority.find(u']');
        if (close == std::u16string_view::npos) return false;
        out.host_name = authority.substr(1, close - 1);
        std::u16string_view after = authority.substr(close + 1);
        if (!after.empty()) {
            if (after.front() != u':') return false;
            port_text = after.substr(1);
            if (port_text.empty()) return false;
        }
    } else {
        std::size_t c = authority.rfind(u':');
        out.host_name = authority.substr(0, c);
        if (c != std::u16string_view::npos) {
            port_text = authority.substr(c + 1);
            if (port_text.empty()) return false;
        }
    }
    if (out.host_name.empty()) return false;
    for (char16_t ch : out.host_name)
        if (ch <= 0x20 || ch == 0x7F || ch == u'\\' || ch == u'%') return false;
    if (!port_text.empty()) {
        unsigned long value = 0;
        for (char16_t ch : port_text) {
            if (ch < u'0' || ch > u'9') return false;
            value = value * 10 + (ch - u'0');
            if (value > 65535) return false;
        }
        if (value == 0) return false;
        out.port = static_cast<std::uint16_t>(value);
    }
    std::size_t extra = tail.find_first_of(u"?#");
    if (extra == std::u16string_view::npos) extra = tail.size();
    out.url_path = tail.substr(0, extra);
    out.extra_info = tail.substr(extra);
    parts = out;
    return true;
}

Internet open_session(std::u16string_view, int access_type, std::u16string_view proxy_name) {
    if (!curl_ready()) return nullptr;
    if (access_type != access_type_no_proxy && access_type != access_type_named_proxy)
        return nullptr;
    auto* s = new Session;
    s->access_type = access_type;
    if (access_type == access_type_named_proxy) {
        if (proxy_name.empty()) {
            delete s;
            return nullptr;
        }
        s->http_proxy = pick_proxy(proxy_name, false);
        s->https_proxy = pick_proxy(proxy_name, true);
    }
    return s;
}

Internet connect(Internet session, std::u16string_view server_name, std::uint16_t port) {
    if (!session || session->kind != Handle::Kind::session || server_name.empty()) return nullptr;
    auto* s = static_cast<Session*>(session);
    auto* c = new Connection;
    c->http_proxy = s->http_proxy;
    c->https_proxy = s->https_proxy;
    c->host = to_utf8(server_name);
    if (c->host.find(':') != std::string::npos) c->host = "[" + c->host + "]";
    c->port = port;
    return c;
}

Internet open_request(Internet connection, std::u16string_view verb,
                      std::u16string_view object_name, unsigned flags) {
    if (!connection || connection->kind != Handle::Kind::connection) return nullptr;
    auto* c = static_cast<Connection*>(connection);
    auto* r = new Request;
    r->verb = verb.empty() ? std::string("GET") : to_utf8(verb);
    for (char ch : r->verb) {
        if (ch <= 0x20 || ch >= 0x7F) {
            delete r;
            return nullptr;
        }
    }
    r->secure = (flags & flag_secure) != 0;
    std::string target = escape_target(object_name);
    if (target.empty() || target.front() != '/') target = "/" + target;
    r->url =
        (r->secure ? "https://" : "http://") + c->host + ":" + std::to_string(c->port) + target;
    r->proxy = r->secure ? c->https_proxy : c->http_proxy;
    return r;
}

bool set_timeouts(Internet request, int resolve, int connect_ms, int send, int receive) {
    Request* r = as_request(request);
    if (!r || r->easy) return false;
    r->resolve_ms = resolve;
    r->connect_ms = connect_ms;
    r->send_ms = send;
    r->receive_ms = receive;
    return true;
}

bool set_credentials(Internet request, unsigned target, unsigned scheme,
                     std::u16string_view user_name, std::u16string_view password) {
    Request* r = as_request(request);
    if (!r || r->easy || scheme != auth_scheme_basic) return false;
    auto pair = std::make_pair(to_ansi(user_name), to_ansi(password));
    if (target == auth_target_server)
        r->server_credentials = std::move(pair);
    else if (target == auth_target_proxy)
        r->proxy_credentials = std::move(pair);
    else
        return false;
    return true;
}

bool set_option(Internet request, unsigned option, std::uint32_t value) {
    Request* r = as_request(request);
    if (!r || r->easy) return false;
    if (option == option_disable_feature) {
        if (value & ~(disable_cookies | disable_redirects)) return false;
        if (value & disable_cookies) r->cookies = false;
        if (value & disable_redirects) r->redirects = false;
        return true;
    }
    if (option == option_enable_feature) {
        // Revocation checking is what the TLS library does by itself here; nothing to switch.
        return value == enable_ssl_revocation;
    }
    return false;
}

bool add_request_headers(Internet request, std::u16string_view headers, unsigned modifiers) {
    Request* r = as_request(request);
    if (!r || r->easy) return false;
    std::string text = to_ansi(headers);
    std::vector<HeaderLine> lines;
    std::size_t i = 0;
    while (i < text.size()) {
        std::size_t end = text.find('\n', i);
        if (end == std::string::npos) end = text.size();
        std::string_view line(text.data() + i, end - i);
        i = end + 1;
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (line.empty()) continue;
        std::optional<HeaderLine> parsed = parse_header_line(line);
        if (!parsed) return false;
        lines.push_back(std::move(*parsed));
    }
    bool replace = (modifiers & addreq_flag_replace) != 0;
    for (HeaderLine& line : lines) {
        auto same = std::find_if(r->headers.begin(), r->headers.end(), [&](const HeaderLine& h) {
            return ascii_iequal(h.name, line.name);
        });
        if (replace && same != r->headers.end()) {
            if (line.value.empty())
                r->headers.erase(same);
            else
                *same = std::move(line);
        } else if (!(replace && line.value.empty())) {
            r->headers.push_back(std::move(line));
        }
    }
    return true;
}

void set_cancel_token(Internet request, CancelTokenPtr token) {
    if (Request* r = as_request(request); r && !r->easy) r->token = std::move(token);
}

bool send_request(Internet request, std::span<const std::uint8_t> body,
                  std::uint32_t total_length) {
    Request* r = as_request(request);
    if (!r || r->easy || r->failed || total_length != body.size()) return false;
    r->body.assign(body.begin(), body.end());
    if (!start_transfer(*r) || r->cancelled()) {
        r->failed = true;
        return false;
    }
    r->progress = Clock::now();
    // Resolution and connect are bounded by the transport's connect timeout; once connected,
    // sending the body must progress within the send timeout.
    auto sent = [r] { return r->connected && r->body_taken == r->body.size(); };
    bool ok = drive(
        *r, [r] { return r->connected; }, 0, false);
    if (ok && !r->done) ok = drive(*r, sent, r->send_ms, true);
    if (!ok) {
        r->failed = true;
        return false;
    }
    if (r->done && r->result != CURLE_OK && (!sent() || is_send_phase_error(r->result))) {
        r->failed = true;
        return false;
    }
    r->sent_started = true;
    return true;
}

bool receive_response(Internet request) {
    Request* r = as_request(request);
    if (!r || !r->sent_started || r->failed || r->received) return false;
    r->progress = Clock::now();
    // The head of each response (a followed redirect starts a new one) must arrive within the
    // receive timeout, so a server that drips its head byte by byte still ends.
    bool ok = drive(
        *r, [r] { return r->headers_final; }, r->receive_ms, true);
    // A transfer that ended well ended with its final head, whatever that head looked like.
    if (ok && r->done && r->result == CURLE_OK && !r->raw_headers.empty()) r->headers_final = true;
    if (!ok || r->head_too_big || !r->headers_final) {
        r->failed = true;
        return false;
    }
    if (r->done && r->result != CURLE_OK && r->raw_headers.empty()) {
        r->failed = true;
        return false;
    }
    r->received = true;
    return true;
}

bool query_data_available(Internet request, std::uint32_t& available) {
    Request* r = as_request(request);
    if (!r || !r->received) return false;
    constexpr std::uint32_t chunk = 1u << 20;
    if (r->pending_size() == 0 && !r->done && !r->body_broken) {
        r->progress = Clock::now();
        if (!drive(
                *r, [r] { return r->pending_size() > 0; }, r->receive_ms, true))
            r->body_broken = true;
    }
    if (r->pending_size() > 0) {
        available = static_cast<std::uint32_t>(std::min<std::size_t>(r->pending_size(), chunk));
    } else if (r->body_broken || r->capped || (r->done && r->result != CURLE_OK)) {
        available = 8192;  // the read that follows reports the break
    } else {
        available = 0;
    }
    return true;
}

bool read_data(Internet request, void* buffer, std::uint32_t to_read, std::uint32_t& read) {
    read = 0;
    Request* r = as_request(request);
    if (!r || !r->received || (!buffer && to_read > 0)) return false;
    if (r->pending_size() == 0 && !r->done && !r->body_broken) {
        r->progress = Clock::now();
        if (!drive(
                *r, [r] { return r->pending_size() > 0; }, r->receive_ms, true))
            r->body_broken = true;
    }
    std::size_t n = std::min<std::size_t>(to_read, r->pending_size());
    if (n > 0) {
        std::memcpy(buffer, r->pending.data() + r->pending_at, n);
        r->pending_at += n;
        read = static_cast<std::uint32_t>(n);
        return true;
    }
    if (r->body_broken || r->capped || (r->done && r->result != CURLE_OK)) return false;
    return true;
}

bool query_headers(Internet request, unsigned info_level, void* buffer, std::uint32_t& buffer_bytes,
                   std::uint32_t& index) {
    Request* r = as_request(request);
    if (!r || !r->received || info_level != query_raw_headers_crlf) return false;
    std::u16string wide = codepage::multi_byte_to_wide_char(codepage::cp_gbk, r->raw_headers);
    std::size_t needed = (wide.size() + 1) * sizeof(char16_t);
    if (!buffer || buffer_bytes < needed) {
        buffer_bytes = static_cast<std::uint32_t>(needed);
        return false;
    }
    auto* out = static_cast<unsigned char*>(buffer);
    for (std::size_t i = 0; i <= wide.size(); ++i) {
        char16_t unit = i < wide.size() ? wide[i] : u'\0';
        out[2 * i] = static_cast<unsigned char>(unit & 0xFF);
        out[2 * i + 1] = static_cast<unsigned char>(unit >> 8);
    }
    buffer_bytes = static_cast<std::uint32_t>(needed - sizeof(char16_t));
    index = 1;
    return true;
}

bool close_handle(Internet handle) {
    if (!handle) return false;
    delete handle;
    return true;
}

}  // namespace tavolen::net
