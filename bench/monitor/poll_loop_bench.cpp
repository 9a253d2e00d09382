#include <benchmark/benchmark.h>
#include <curl/curl.h>
#include <httplib.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>

#include "demo_room/room_chat.h"
#include "monitor/message_rows.h"
#include "monitor/poll_loop.h"
#include "monitor/working_set_trim.h"
#include "support/fixed_reply_room.h"

namespace tavolen {
namespace {

// 36 viewer messages and 4 admin messages, UTF-8 with Chinese text, as the endpoint sends them.
std::string forty_message_reply() {
    std::string room, admin;
    for (int i = 0; i < 40; ++i) {
        std::string m = "{\"uid\":" + std::to_string(3000000 + i * 7919) +
                        ",\"nickname\":\"\xE8\xA7\x82\xE4\xBC\x97" + std::to_string(i) +
                        "\",\"text\":\"\xE4\xB8\xBB\xE6\x92\xAD\xE5\xA5\xBD 666 #" +
                        std::to_string(i) +
                        "\",\"timeline\":\"20:15:" + std::to_string(10 + i / 3) + "\"}";
        std::string& list = i < 36 ? room : admin;
        list += (list.empty() ? "" : ",") + m;
    }
    return demo::percent_encode("{\"code\":0,\"msg\":\"ok\",\"data\":{\"room\":[" + room +
                                "],\"admin\":[" + admin + "]}}");
}

using Endpoint = bench::FixedReplyRoom;

Endpoint& endpoint() {
    static Endpoint e(forty_message_reply());
    return e;
}

constexpr auto run_time = std::chrono::seconds(3);

// Whole passes of the poll loop (request, decode, two parses, 160 field reads, 40 duplicate
// tests, trim) for a fixed time; the loop has no other way of being timed from outside.
void BM_PollLoopPasses(benchmark::State& state) {
    Endpoint& e = endpoint();
    for (auto _ : state) {
        MessageRows rows;
        auto stop = net::make_cancel_token();
        const long before = e.requests();
        const auto start = std::chrono::steady_clock::now();
        std::thread worker([&] { poll_room_messages("123", rows, stop, RoomEndpoint{e.host()}); });
        std::this_thread::sleep_for(run_time);
        stop->cancel();
        worker.join();
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        state.counters["passes_per_s"] = (e.requests() - before) / seconds;
        state.counters["rows"] = rows.size();
    }
    state.counters["reply_bytes"] = e.reply_size();
}
BENCHMARK(BM_PollLoopPasses)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

size_t discard(char*, size_t size, size_t count, void*) {
    return size * count;
}

// The same POST through a bare libcurl easy handle per request, against the same server.
void BM_BareCurlPosts(benchmark::State& state) {
    Endpoint& e = endpoint();
    const std::string url = "http://" + e.host() + "/ajax/msg";
    for (auto _ : state) {
        const long before = e.requests();
        const auto start = std::chrono::steady_clock::now();
        while (std::chrono::steady_clock::now() - start < run_time) {
            CURL* curl = curl_easy_init();
            curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
            curl_easy_setopt(curl, CURLOPT_POSTFIELDS, "roomid=123");
            curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, discard);
            curl_easy_perform(curl);
            curl_easy_cleanup(curl);
        }
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        state.counters["posts_per_s"] = (e.requests() - before) / seconds;
    }
}
BENCHMARK(BM_BareCurlPosts)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

// The trim alone, as each pass makes it over this machine's process table.
void BM_TrimAllWorkingSets(benchmark::State& state) {
    for (auto _ : state) trim_all_working_sets();
}
BENCHMARK(BM_TrimAllWorkingSets)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace tavolen

BENCHMARK_MAIN();
