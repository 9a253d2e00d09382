#include <benchmark/benchmark.h>

#include <string>

#include "monitor/message_list_rules.h"
#include "monitor/message_rows.h"

namespace tavolen {
namespace {

void fill(MessageRows& rows, int n) {
    for (int i = 0; i < n; ++i) {
        int r = rows.insert_row();
        std::string k = std::to_string(i);
        rows.set_cell(r, column_number, std::to_string(i + 1));
        rows.set_cell(r, column_nickname, "viewer" + k);
        rows.set_cell(r, column_uid, "10" + k);
        rows.set_cell(r, column_text, i % 3 ? "666" : "message number " + k);
        rows.set_cell(r, column_timeline,
                      "20:" + std::to_string(i / 60 % 60) + ":" + std::to_string(i % 60));
    }
}

// A message that is listed (a repeat from the reply before) and one that is new: the poll loop
// asks both kinds for every message of every reply.
void BM_MessageAlreadyListed(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    MessageRows rows;
    fill(rows, n);
    const int probe = n / 2;
    const std::string k = std::to_string(probe);
    const Text uid = "10" + k, nickname = "viewer" + k;
    const Text text = probe % 3 ? "666" : "message number " + k;
    const Text timeline =
        "20:" + std::to_string(probe / 60 % 60) + ":" + std::to_string(probe % 60);
    const Text fresh_time = timeline + ".5";
    for (auto _ : state) {
        benchmark::DoNotOptimize(message_already_listed(rows, uid, nickname, text, timeline));
        benchmark::DoNotOptimize(message_already_listed(rows, uid, nickname, text, fresh_time));
    }
    state.SetItemsProcessed(state.iterations() * 2);
}
BENCHMARK(BM_MessageAlreadyListed)->Arg(10)->Arg(10000)->Arg(100000);

}  // namespace
}  // namespace tavolen
BENCHMARK_MAIN();
