#pragma once

// Synchronous HTTP request steps in the shape of the platform's request API: crack a URL, open a
// session, a connection and a request, set options, send, receive, read, query the raw headers,
// close. Each step really is a step: name resolution, connect and sending happen in
// send_request, waiting for the response head in receive_response, the body arrives through
// query_data_available / read_data. A step reports failure by answering false (or a null
// handle); nothing throws. Strings are UTF-16; header texts travel as code page 936 bytes.
//
// Every blocking step watches the request's cancel token: cancel() from another thread makes
// the blocked step fail at once.

#include <cstdint>
#include <span>
#include <string_view>

#include "platform/net/cancel_token.h"

namespace tavolen::net {

class Handle;
using Internet = Handle*;

inline constexpr int scheme_http = 1;
inline constexpr int scheme_https = 2;

// Views into the cracked URL.
struct UrlComponents {
    int scheme = 0;  // scheme_http or scheme_https
    std::u16string_view scheme_name;
    std::u16string_view host_name;  // without the brackets of an IPv6 literal
    std::uint16_t port = 0;
    std::u16string_view user_name;
    std::u16string_view password;
    std::u16string_view url_path;    // from the first "/" up to "?" or "#"; may be empty
    std::u16string_view extra_info;  // "?..." and/or "#...", or empty
};

inline constexpr int access_type_no_proxy = 1;
inline constexpr int access_type_named_proxy = 3;

inline constexpr unsigned flag_secure = 0x00800000;

inline constexpr unsigned auth_target_server = 0;
inline constexpr unsigned auth_target_proxy = 1;
inline constexpr unsigned auth_scheme_basic = 1;

inline constexpr unsigned option_disable_feature = 63;
inline constexpr unsigned option_enable_feature = 79;
inline constexpr std::uint32_t disable_cookies = 1;
inline constexpr std::uint32_t disable_redirects = 2;
inline constexpr std::uint32_t enable_ssl_revocation = 1;

inline constexpr unsigned addreq_flag_add = 0x20000000;
inline constexpr unsigned addreq_flag_replace = 0x80000000;

inline constexpr unsigned query_raw_headers_crlf = 22;

// A body larger than this is not read into memory: the read past it fails.
inline constexpr std::uint64_t max_body_bytes = 64ull << 20;
// A response head larger than this fails the receive step.
inline constexpr std::size_t max_header_bytes = 1u << 20;

// Whether the transport can be used at all (libcurl initialised, HTTP supported).
bool check_platform();

// Splits an http or https URL. Fails for any other scheme, an empty host, a bad port or
// control characters and blanks in the host. A missing port is the scheme's default.
bool crack_url(std::u16string_view url, UrlComponents& parts);

// proxy_name for a named proxy is a list of "host:port" or "scheme=host:port" entries
// separated by ";" or blanks; an entry with a scheme applies to that scheme only.
Internet open_session(std::u16string_view agent, int access_type, std::u16string_view proxy_name);
Internet connect(Internet session, std::u16string_view server_name, std::uint16_t port);
Internet open_request(Internet connection, std::u16string_view verb,
                      std::u16string_view object_name, unsigned flags);

// Milliseconds; 0 or less means no limit. Defaults: none, 60000, 30000, 30000.
bool set_timeouts(Internet request, int resolve, int connect, int send, int receive);
bool set_credentials(Internet request, unsigned target, unsigned scheme,
                     std::u16string_view user_name, std::u16string_view password);
bool set_option(Internet request, unsigned option, std::uint32_t value);
// "Name: value" lines separated by CRLF (or LF); empty lines are skipped. A line without a
// colon, with an empty or malformed name, or with a control character fails the whole call and
// adds nothing. With addreq_flag_replace a line replaces a header of the same name (an empty
// value removes it).
bool add_request_headers(Internet request, std::u16string_view headers, unsigned modifiers);
// Our own addition: the token that cancels this request's blocking steps.
void set_cancel_token(Internet request, CancelTokenPtr token);

// total_length must equal the body's length.
bool send_request(Internet request, std::span<const std::uint8_t> body, std::uint32_t total_length);
bool receive_response(Internet request);
// Answers the bytes that can be read now without waiting (0 at the end of the body). A body
// that broke off (error, timeout, cancel, the size cap) shows as pending data whose read_data
// fails, so the reader learns of it after it has taken every byte that did arrive.
bool query_data_available(Internet request, std::uint32_t& available);
bool read_data(Internet request, void* buffer, std::uint32_t to_read, std::uint32_t& read);
// query_raw_headers_crlf: the status line and header lines of the final response, each ending
// in CRLF, then an empty line, as UTF-16 with a zero unit. A null or too small buffer fails and
// leaves the needed size in bytes in buffer_bytes.
bool query_headers(Internet request, unsigned info_level, void* buffer, std::uint32_t& buffer_bytes,
                   std::uint32_t& index);
bool close_handle(Internet handle);

}  // namespace tavolen::net
