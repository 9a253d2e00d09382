#pragma once

// One synchronous HTTP or HTTPS request per call, with its own session, connection and request
// handles, all closed before it returns. The response body comes back as text (recoded from
// GBK when the page declares gbk or gb2312); a failure gives the empty text and a numbered error
// text in the status variable, from "700 ..." to "713 ...". A 404 or 500 is no failure: only
// the status text tells it apart.

#include <optional>

#include "platform/net/cancel_token.h"
#include "text/text.h"

namespace tavolen {

// The optional parameters, in their fixed order. A null variable pointer means the caller
// leaves it out (its result goes nowhere).
struct HttpRequestOptions {
    int method = 0;  // 0 GET, 1 POST, 2 HEAD, 3 PUT, 4 OPTIONS, 5 DELETE, 6 TRACE, 7 CONNECT
    Text body{};
    // Given (even holding the empty text) or left out: the two behave differently. When given,
    // it is sent as the Cookie line and receives the merged cookies.
    Text* cookies = nullptr;
    Text* returned_cookies = nullptr;
    Text extra_headers{};  // "Name: value" lines separated by CRLF
    Text* response_headers = nullptr;
    bool disable_redirects = false;
    Text user_name{};
    Text password{};
    Text proxy{};  // "host:port"; empty: no proxy
    Text proxy_user_name{};
    Text proxy_password{};
    int timeout_seconds = 0;  // 0 or less: 30 seconds, for resolve, connect, send and receive
    Text* location = nullptr;
    Text* status_text = nullptr;
    ByteBuffer* response_bytes = nullptr;
    bool merge_cookies = true;
    // Tripping it aborts the request in flight at once; the call then ends as the step that
    // was waiting fails.
    net::CancelTokenPtr cancel{};
};

Text http_request(std::string_view url, const HttpRequestOptions& options = {});

// The numbered failure texts, in code page 936.
namespace http_error {
extern const std::string_view platform;         // 700
extern const std::string_view bad_url;          // 701
extern const std::string_view session;          // 702
extern const std::string_view connection;       // 703
extern const std::string_view request;          // 704
extern const std::string_view timeouts;         // 705
extern const std::string_view credentials;      // 707
extern const std::string_view cookie_option;    // 708
extern const std::string_view redirect_option;  // 709
extern const std::string_view headers;          // 710
extern const std::string_view send;             // 711
extern const std::string_view no_response;      // 712
extern const std::string_view read;             // 713
}  // namespace http_error

}  // namespace tavolen
