// http_request against a bare libcurl loop on the same local server, as the poll loop uses it:
// a POST answered by a 10 KB reply, back to back. Also the time from cancel() to the return of
// a request that is waiting for an answer.

#include <benchmark/benchmark.h>
#include <curl/curl.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "http/cookie_text.h"
#include "http/http_request.h"
#include "local_server.h"
#include "raw_server.h"

namespace {

using namespace tavolen;

test::LocalServer& reply_server() {
    static test::LocalServer* server = [] {
        auto* s = new test::LocalServer;
        static const std::string reply(10 * 1024, 'x');
        s->server().Post("/ajax/msg", [](const httplib::Request&, httplib::Response& res) {
            res.set_content(reply, "application/json");
        });
        s->start();
        return s;
    }();
    return *server;
}

void BM_http_request_post(benchmark::State& state) {
    const std::string url = reply_server().url("/ajax/msg");
    std::size_t bytes = 0;
    for (auto _ : state) {
        Text body = http_request(url, {.method = 1, .body = "roomid=12345"});
        bytes += body.size();
        benchmark::DoNotOptimize(body);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(bytes));
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_http_request_post)->UseRealTime();

std::size_t keep(char*, std::size_t size, std::size_t count, void* user) {
    *static_cast<std::size_t*>(user) += size * count;
    return size * count;
}

void BM_bare_curl_post(benchmark::State& state) {
    const std::string url = reply_server().url("/ajax/msg");
    std::size_t bytes = 0;
    for (auto _ : state) {
        CURL* easy = curl_easy_init();
        curl_easy_setopt(easy, CURLOPT_URL, url.c_str());
        curl_easy_setopt(easy, CURLOPT_POSTFIELDS, "roomid=12345");
        curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &keep);
        curl_easy_setopt(easy, CURLOPT_WRITEDATA, &bytes);
        curl_easy_setopt(easy, CURLOPT_PROXY, "");
        curl_easy_perform(easy);
        curl_easy_cleanup(easy);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(bytes));
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_bare_curl_post)->UseRealTime();

// The cookie merge over a cookie text of many distinct entries, as a response head near the
// header size limit can bring: every entry new, then every entry once more.
void BM_merge_cookie_text(benchmark::State& state) {
    Text many;
    for (int i = 0; i < state.range(0); ++i) many += "c" + std::to_string(i) + "=1; ";
    for (auto _ : state) {
        Text cookies = many, fresh = many;
        benchmark::DoNotOptimize(merge_cookie_text(cookies, fresh));
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_merge_cookie_text)->Arg(1000)->Arg(60000)->Unit(benchmark::kMillisecond);

// Manual time: from cancel() on another thread to http_request's return.
void BM_cancel_to_return(benchmark::State& state) {
    std::atomic<int> answered{0};
    test::RawServer silent([&](test::RawConnection& c) {
        c.read_request();
        ++answered;
        c.wait_for_close();
    });
    for (auto _ : state) {
        auto token = net::make_cancel_token();
        const int before = answered.load();
        std::chrono::steady_clock::time_point cancelled_at;
        std::thread canceller([&] {
            while (answered.load() == before) std::this_thread::yield();
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
            cancelled_at = std::chrono::steady_clock::now();
            token->cancel();
        });
        http_request(silent.url(), {.cancel = token});
        auto returned_at = std::chrono::steady_clock::now();
        canceller.join();
        state.SetIterationTime(std::chrono::duration<double>(returned_at - cancelled_at).count());
    }
}
BENCHMARK(BM_cancel_to_return)->UseManualTime()->Unit(benchmark::kMicrosecond)->Iterations(200);

}  // namespace

BENCHMARK_MAIN();
