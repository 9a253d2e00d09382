#pragma once

// The two response steps of http_request: reading the raw header block, and recoding a page
// that declares a GBK charset.

#include "regex/regex_object.h"
#include "text/text.h"

namespace tavolen {

struct HeaderResults {
    Text* response_headers;
    Text* status_text;
    Text* returned_cookies;
    Text* location;
    Text* cookies;  // null when the caller left the cookie variable out
    bool merge_cookies;
};

// Fills the caller's variables from the raw header block (UTF-16, as received). Pumps the
// calling thread's messages once per header line.
void analyse_headers(const ByteBuffer& header_buffer, const HeaderResults& out);

// Answers the page text, recoded from the body bytes when the first 1024 bytes of `text`
// declare charset gbk or gb2312 (in lower case) in a meta tag; otherwise `text` itself.
Text apply_page_charset(RegexObject& regex, Text text, const ByteBuffer& body);

}  // namespace tavolen
