#include "http/response_steps.h"

#include "automation/automation.h"
#include "http/cookie_text.h"
#include "http/message_pump.h"
#include "platform/com/registry.h"
#include "text/encoding.h"

namespace tavolen {

void analyse_headers(const ByteBuffer& header_buffer, const HeaderResults& out) {
    Text headers = utf16_to_ansi(header_buffer);
    // The status line is "HTTP/1.1 " (nine bytes) and then code and reason up to the line break.
    int p = find_text(headers, "\r\n", 10);
    *out.status_text = text_mid(headers, 10, p - 10);
    headers = replace_text(headers, "Set-Cookie", "Set-Cookie", 1, {}, false);
    *out.response_headers = headers;

    Text returned;
    for (const Text& line : split_text(headers, "\r\n")) {
        if (find_text(line, "Set-Cookie") != -1) {
            // Only the name=value before the first attribute is kept.
            Text value = find_text(line, ";") != -1
                             ? text_between(line, "Set-Cookie:", ";")
                             : replace_text(line, "Set-Cookie:", {}, 1, {}, false);
            returned += trim_text(value);
            returned += "; ";
        }
        if (compare_text(text_left(line, 10), "Location: ", false) == 0)
            *out.location = text_mid(line, 11, text_length(line) - 10);
        pump_messages();
    }
    *out.returned_cookies = text_left(returned, text_length(returned) - 2);

    if (out.merge_cookies && out.cookies)
        *out.returned_cookies = merge_cookie_text(*out.cookies, *out.returned_cookies);
}

Text apply_page_charset(RegexObject& regex, Text text, const ByteBuffer& body) {
    com::co_initialize();
    if (regex.execute("<meta.+?charset=[^\\w]?([-\\w]+)", text_left(text, 1024))) {
        Text charset = regex.submatch_text(1, 1);
        // Byte-for-byte: a declaration in capitals is left as it is.
        if (!charset.empty() && (compare_text_plain(charset, "gbk") == 0 ||
                                 compare_text_plain(charset, "gb2312") == 0)) {
            ComObject stream;
            if (com_create(stream, "Adodb.Stream")) {
                Variant bytes;
                variant_set(bytes, body);
                com_put(stream, "Type", std::int32_t{1});  // binary
                com_put(stream, "Mode", std::int32_t{3});  // read and write
                com_call(stream, "Open");
                com_call(stream, "Write", by_reference(bytes));
                com_put(stream, "Position", std::int32_t{0});
                com_put(stream, "Type", std::int32_t{2});  // text
                com_put(stream, "Charset", charset);
                text = com_call<Text>(stream, "ReadText");
                com_call(stream, "Close");
                com_clear(stream);
                variant_clear(bytes);
            }
        }
        pump_messages();
    }
    com::co_uninitialize();
    return text;
}

}  // namespace tavolen
