// What the automation layer and the regex object cost on the paths the program runs often:
// the JSON layer's many Eval calls (measured here over an object that answers at once, so
// only our own layer is timed), the room-number extraction per click and the charset search
// per HTTP request.

#include <benchmark/benchmark.h>

#include <string>

#include "automation/automation.h"
#include "platform/com/registry.h"
#include "platform/vbregexp/regexp_engine.h"
#include "regex/regex_object.h"

namespace {

using namespace tavolen;

// Answers its argument's length as a number, or a fixed short text.
class Answering final : public com::Dispatch {
  public:
    com::HResult invoke(std::string_view name, com::InvokeKind, std::span<Variant> args,
                        Variant& result) override {
        if (com::same_name(name, "Eval") && args.size() == 1) {
            const com::Bstr* code = args[0].deref().bstr();
            result = Variant::from_bstr(code && code->size() > 40 ? u"\u5f20\u4e09 says hello"
                                                                  : u"12345");
            return com::hr_ok;
        }
        if (com::same_name(name, "Count")) {
            result = Variant::from_i4(3);
            return com::hr_ok;
        }
        return com::hr_unknown_name;
    }
};

void BM_ComCallEvalText(benchmark::State& state) {
    ComObject engine(com::make_com<Answering>());
    const Text script = "da.data.room[12].nickname";
    for (auto _ : state) benchmark::DoNotOptimize(com_call<Text>(engine, "Eval", script));
}
BENCHMARK(BM_ComCallEvalText);

void BM_ComCallEvalNumber(benchmark::State& state) {
    ComObject engine(com::make_com<Answering>());
    const Text script = "get__count(da.data.room)";
    for (auto _ : state) benchmark::DoNotOptimize(com_call<double>(engine, "Eval", script));
}
BENCHMARK(BM_ComCallEvalNumber);

void BM_ComGetCount(benchmark::State& state) {
    ComObject object(com::make_com<Answering>());
    for (auto _ : state) benchmark::DoNotOptimize(com_get<double>(object, "Count"));
}
BENCHMARK(BM_ComGetCount);

void BM_RegexObjectRoomId(benchmark::State& state) {
    const Text address = "https://live.example.com/room/00123456?from=share&t=1700000000";
    for (auto _ : state) {
        RegexObject re;
        re.execute("[1-9][0-9]{1,12}", address);
        benchmark::DoNotOptimize(re.match_text(1));
    }
}
BENCHMARK(BM_RegexObjectRoomId);

void BM_RegexObjectCharset(benchmark::State& state) {
    Text page =
        "<!DOCTYPE html><html><head><title>Room</title>"
        "<meta name=\"viewport\" content=\"width=device-width\">"
        "<link rel=\"stylesheet\" href=\"/s.css\">";
    while (page.size() < 900) page += "<script src=\"/static/app.js\"></script>";
    page += "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=gbk\">";
    page = page.substr(0, 1024);
    for (auto _ : state) {
        RegexObject re;
        if (re.execute("<meta.+?charset=[^\\w]?([-\\w]+)", page))
            benchmark::DoNotOptimize(re.submatch_text(1, 1));
    }
}
BENCHMARK(BM_RegexObjectCharset);

// A pattern seen for the first time: PCRE2 compile plus JIT compile.
void BM_CompileNewPattern(benchmark::State& state) {
    int n = 0;
    for (auto _ : state) {
        const std::string p = "<meta.+?charset=[^\\w]?([-\\w]+)" + std::to_string(n++ % 100000);
        benchmark::DoNotOptimize(
            vbregexp::compile_pattern(std::u16string(p.begin(), p.end()), {true, true}));
    }
}
BENCHMARK(BM_CompileNewPattern);

// Four million units of short lines. With CR LF line ends, every LF that PCRE2 steps over may
// need an anchored attempt of its own.
void BM_SearchMegabytes(benchmark::State& state, const char16_t* line_end, const char16_t* pattern,
                        vbregexp::RegexOptions options) {
    std::u16string subject;
    while (subject.size() < 4'000'000)
        subject += u"room 10042 \u4e2d\u6587" + std::u16string(line_end);
    auto compiled = vbregexp::compile_pattern(pattern, options);
    for (auto _ : state) {
        vbregexp::MatchList out;
        vbregexp::search(*compiled, subject, true, out);
        benchmark::DoNotOptimize(out.count());
    }
    state.SetBytesProcessed(state.iterations() * subject.size() * 2);
}
BENCHMARK_CAPTURE(BM_SearchMegabytes, room_numbers_lf, u"\n", u"[1-9][0-9]{1,12}",
                  vbregexp::RegexOptions{})
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_SearchMegabytes, no_charset_crlf, u"\r\n", u"<meta.+?charset=[^\\w]?([-\\w]+)",
                  vbregexp::RegexOptions{true, true})
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_SearchMegabytes, line_starts_crlf, u"\r\n", u"^r",
                  vbregexp::RegexOptions{false, true})
    ->Unit(benchmark::kMillisecond);

}  // namespace
BENCHMARK_MAIN();
