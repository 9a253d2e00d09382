// What every poll pass costs the text layer: decoding a ~10 KB reply, and the searches and
// replacements the rest of the system makes on texts of that size.

#include <benchmark/benchmark.h>

#include <string>

#include "text/encoding.h"
#include "text/text.h"

namespace {

// A reply shaped like the room endpoint's: JSON with Chinese nicknames and texts in UTF-8.
std::string sample_reply() {
    std::string json = "{\"code\":0,\"msg\":\"ok\",\"data\":{\"room\":[";
    int i = 0;
    while (json.size() < 10 * 1024) {
        if (i) json += ',';
        json += "{\"uid\":" + std::to_string(10000000 + i * 7919) +
                ",\"nickname\":\"\xE5\xB0\x8F\xE6\x98\x8E" + std::to_string(i) +
                "\",\"text\":\"\xE4\xB8\xBB\xE6\x92\xAD\xE5\xA5\xBD\xE5\x8E\x89\xE5\xAE\xB3 666 "
                "\xE5\x93\x88\xE5\x93\x88\",\"timeline\":\"12:34:56\",\"level\":3}";
        ++i;
    }
    json += "],\"admin\":[]}}";
    return json;
}

std::string percent_encoded(const std::string& text) {
    static constexpr char hex[] = "0123456789ABCDEF";
    std::string out;
    for (const char c : text) {
        const auto b = static_cast<unsigned char>(c);
        if ((b >= 'A' && b <= 'Z') || (b >= 'a' && b <= 'z') || (b >= '0' && b <= '9')) {
            out += c;
        } else {
            out += '%';
            out += hex[b >> 4];
            out += hex[b & 15];
        }
    }
    return out;
}

void BM_UrlDecodeUtf8_PlainReply(benchmark::State& state) {
    const std::string reply = sample_reply();
    for (auto _ : state) benchmark::DoNotOptimize(tavolen::url_decode(reply, true));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * reply.size()));
}
BENCHMARK(BM_UrlDecodeUtf8_PlainReply);

void BM_UrlDecodeUtf8_EscapedReply(benchmark::State& state) {
    const std::string reply = percent_encoded(sample_reply().substr(0, 4 * 1024));  // ~10 KB
    for (auto _ : state) benchmark::DoNotOptimize(tavolen::url_decode(reply, true));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * reply.size()));
}
BENCHMARK(BM_UrlDecodeUtf8_EscapedReply);

void BM_Utf8ToAnsi(benchmark::State& state) {
    const std::string reply = sample_reply();
    for (auto _ : state) benchmark::DoNotOptimize(tavolen::utf8_to_ansi(reply));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * reply.size()));
}
BENCHMARK(BM_Utf8ToAnsi);

void BM_FindTextMiss(benchmark::State& state) {
    const std::string text = tavolen::utf8_to_ansi(sample_reply());
    for (auto _ : state) benchmark::DoNotOptimize(tavolen::find_text(text, "\"missing\":"));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}
BENCHMARK(BM_FindTextMiss);

void BM_FindTextIgnoreCaseMiss(benchmark::State& state) {
    const std::string text = tavolen::utf8_to_ansi(sample_reply());
    for (auto _ : state)
        benchmark::DoNotOptimize(tavolen::find_text(text, "\"MISSING\":", 1, true));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}
BENCHMARK(BM_FindTextIgnoreCaseMiss);

void BM_ReplaceTextAll(benchmark::State& state) {
    const std::string text = tavolen::utf8_to_ansi(sample_reply());
    for (auto _ : state) benchmark::DoNotOptimize(tavolen::replace_text(text, "\"", "'"));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}
BENCHMARK(BM_ReplaceTextAll);

void BM_SplitText(benchmark::State& state) {
    const std::string text = tavolen::utf8_to_ansi(sample_reply());
    for (auto _ : state) benchmark::DoNotOptimize(tavolen::split_text(text, ","));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}
BENCHMARK(BM_SplitText);

}  // namespace

BENCHMARK_MAIN();
