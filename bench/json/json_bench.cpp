// What the poll loop spends in JsonObject: one pass over a room reply of 30 room and 10 admin
// messages (two parses, two counts, 160 field reads), its pieces, and the same pass with the
// script control's shortcuts switched off, for comparison.

#include <benchmark/benchmark.h>

#include <array>
#include <string>
#include <vector>

#include "json/json_object.h"
#include "platform/com/registry.h"
#include "platform/script/script_control.h"
#include "text/encoding.h"

namespace {

using namespace tavolen;

constexpr std::array<const char*, 8> nicknames = {"小明同学",  "阿花不吃香菜", "老王在路上",
                                                  "夜猫子233", "星河滚烫",     "路过的猫",
                                                  "momo酱",    "一只大鹅"};
constexpr std::array<const char*, 8> texts = {"主播晚上好！今天播到几点？",
                                              "666666",
                                              "这波操作太秀了哈哈哈哈",
                                              "前排围观，刚下班",
                                              "求BGM名字",
                                              "主播能不能再来一局，拜托拜托",
                                              "\\\"引号\\\"和反斜杠\\\\也要能读",
                                              "好耶"};

// A reply as the room endpoint sends it, already decoded to code page 936. Replies of
// different passes differ (new messages); `pass` stands for that.
Text room_reply(int pass = 0) {
    std::string out =
        R"({"code":0,"pass":)" + std::to_string(pass) + R"(,"msg":"ok","data":{"room":[)";
    auto message = [&](int i, bool admin) {
        out += R"({"uid":)" + std::to_string(10000000 + i * 7919) + R"(,"nickname":")" +
               nicknames[i % nicknames.size()] + (admin ? "-房管" : "") + R"(","text":")" +
               texts[(i * 3) % texts.size()] + R"(","timeline":"2024-05-0)" +
               std::to_string(1 + i % 9) + " 20:" + std::to_string(10 + i % 50) + ":" +
               std::to_string(10 + (i * 7) % 50) + R"(","level":)" + std::to_string(i % 40 + 1) +
               R"(,"badge":{"name":"粉丝团","level":)" + std::to_string(i % 20) + "}}";
    };
    for (int i = 0; i < 30; ++i) {
        if (i) out += ",";
        message(i, false);
    }
    out += R"(],"admin":[)";
    for (int i = 0; i < 10; ++i) {
        if (i) out += ",";
        message(100 + i, true);
    }
    out += "]}}";
    return utf8_to_ansi(out);
}

// The poll loop's walk over one array of the reply.
void read_messages(JsonObject& json, const Text& reply, const char* array) {
    json.parse(reply);
    const int count = json.member_count(array);
    for (int i = 0; i < count; ++i) {
        const Text prefix = Text(array) + "[" + number_to_text(i) + "].";
        benchmark::DoNotOptimize(json.get_text(prefix + "uid"));
        benchmark::DoNotOptimize(json.get_text(prefix + "nickname"));
        benchmark::DoNotOptimize(json.get_text(prefix + "text"));
        benchmark::DoNotOptimize(json.get_text(prefix + "timeline"));
    }
}

// Registers the script control with the given shortcuts for the scope of a benchmark.
class ScriptControlShortcuts {
  public:
    explicit ScriptControlShortcuts(bool on) {
        JsonObject warm_up;  // registers the standard objects first
        if (!on)
            com::register_class("MSScriptControl.ScriptControl", [] {
                script::ScriptLimits plain;
                plain.member_path_shortcut = false;
                plain.compile_cache = false;
                return script::create_script_control_with(plain);
            });
    }
    ~ScriptControlShortcuts() {
        com::register_class("MSScriptControl.ScriptControl", &script::create_script_control);
    }
};

void worker_pass(benchmark::State& state) {
    ScriptControlShortcuts shortcuts(state.range(0) != 0);
    const Text reply = room_reply();
    JsonObject json;
    for (auto _ : state) {
        read_messages(json, reply, "data.room");
        read_messages(json, reply, "data.admin");
    }
    state.counters["reply_bytes"] = static_cast<double>(reply.size());
}
BENCHMARK(worker_pass)->ArgName("shortcuts")->Arg(1)->Arg(0)->Unit(benchmark::kMicrosecond);

// As the poll loop meets them: every pass reads a reply it has not seen before, so nothing
// compiled for an earlier reply's text can be reused.
void worker_pass_new_replies(benchmark::State& state) {
    ScriptControlShortcuts shortcuts(state.range(0) != 0);
    std::vector<Text> replies;
    for (int pass = 0; pass < 1000; ++pass) replies.push_back(room_reply(pass));
    JsonObject json;
    std::size_t next = 0;
    for (auto _ : state) {
        const Text& reply = replies[next++ % replies.size()];
        read_messages(json, reply, "data.room");
        read_messages(json, reply, "data.admin");
    }
}
BENCHMARK(worker_pass_new_replies)
    ->ArgName("shortcuts")
    ->Arg(1)
    ->Arg(0)
    ->Unit(benchmark::kMicrosecond);

void parse_reply(benchmark::State& state) {
    ScriptControlShortcuts shortcuts(state.range(0) != 0);
    const Text reply = room_reply();
    JsonObject json;
    for (auto _ : state) benchmark::DoNotOptimize(json.parse(reply));
}
BENCHMARK(parse_reply)->ArgName("shortcuts")->Arg(1)->Arg(0)->Unit(benchmark::kMicrosecond);

// A new primed engine, as every parse makes one: construction runs exactly that set-up.
void engine_set_up(benchmark::State& state) {
    ScriptControlShortcuts shortcuts(state.range(0) != 0);
    for (auto _ : state) {
        JsonObject json;
        benchmark::DoNotOptimize(json.engine().dispatch().get());
    }
}
BENCHMARK(engine_set_up)->ArgName("shortcuts")->Arg(1)->Arg(0)->Unit(benchmark::kMicrosecond);

void get_text(benchmark::State& state) {
    ScriptControlShortcuts shortcuts(state.range(0) != 0);
    const char* key = state.range(1) ? "data.room[17].uid" : "data.room[17].nickname";
    JsonObject json;
    json.parse(room_reply());
    for (auto _ : state) benchmark::DoNotOptimize(json.get_text(key));
}
BENCHMARK(get_text)
    ->ArgNames({"shortcuts", "number"})
    ->ArgsProduct({{1, 0}, {0, 1}})
    ->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
