#include "shell/thread_launcher.h"

#include <gtest/gtest.h>

#include <chrono>
#include <climits>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

namespace tavolen {
namespace {

// What an entry routine was called with; an absent text is std::nullopt.
struct Call {
    int number = 0;
    std::array<std::optional<Text>, 4> texts;
    LaunchedThread* self = nullptr;
};

std::mutex calls_mutex;
std::vector<Call> calls;

void recording_entry(int number, const Text* text1, const Text* text2, const Text* text3,
                     const Text* text4) {
    Call call;
    call.number = number;
    const Text* texts[] = {text1, text2, text3, text4};
    for (int i = 0; i < 4; ++i) {
        if (texts[i] != nullptr) call.texts[i] = *texts[i];
    }
    call.self = current_launched_thread();
    std::lock_guard lock(calls_mutex);
    calls.push_back(std::move(call));
}

std::vector<Call> take_calls() {
    std::lock_guard lock(calls_mutex);
    return std::exchange(calls, {});
}

// Waits for the thread to finish its entry routine (it never takes long here).
bool ended(const ThreadHandle& thread) {
    for (int i = 0; i < 5000 && !thread->ended.load(); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return thread->ended.load();
}

class ThreadLauncher : public ::testing::Test {
  protected:
    void SetUp() override { take_calls(); }
};

TEST_F(ThreadLauncher, HandsTheNumberAndTextsToTheEntryOnTheNewThread) {
    const Text room = "100123";
    const Text empty;
    const Text chinese = "\xb7\xbf\xbc\xe4";  // 房间 in code page 936
    struct Case {
        int number;
        const Text* text1;
        const Text* text2;
        const Text* text3;
        const Text* text4;
        std::array<std::optional<Text>, 4> expected;
    };
    const Case cases[] = {
        {0, &room, nullptr, nullptr, nullptr, {{room, {}, {}, {}}}},
        {-7, nullptr, &room, &empty, &chinese, {{{}, room, {}, chinese}}},
        {INT_MIN, &empty, nullptr, nullptr, nullptr, {}},
        {INT_MAX, &chinese, &chinese, &room, &room, {{chinese, chinese, room, room}}},
    };
    for (const Case& c : cases) {
        ThreadHandle thread =
            start_worker_thread(recording_entry, c.number, c.text1, c.text2, c.text3, c.text4);
        ASSERT_TRUE(thread);
        ASSERT_TRUE(ended(thread));
        const std::vector<Call> made = take_calls();
        ASSERT_EQ(made.size(), 1u) << "number " << c.number;
        EXPECT_EQ(made[0].number, c.number);
        EXPECT_EQ(made[0].texts, c.expected) << "number " << c.number;
        EXPECT_EQ(made[0].self, thread.get());
    }
}

TEST_F(ThreadLauncher, EntryAddressSurvivesAtFullPointerWidth) {
    // In a position-independent 64-bit program functions usually sit far above 4 GiB, where an
    // address written as a 32-bit number would call somewhere else entirely.
    const auto address = reinterpret_cast<std::uintptr_t>(&recording_entry);
    RecordProperty("entry_address_above_4GiB", address > UINT32_MAX ? "yes" : "no");
    const Text address_slot = std::to_string(address);
    const Text number_slot = "42";
    const Text text = "x";
    auto thread = std::make_shared<LaunchedThread>();
    launcher_thread_proc(new ThreadArgumentBlock(
        {&address_slot, &number_slot, &text, nullptr, nullptr, nullptr}, thread));
    const std::vector<Call> made = take_calls();
    ASSERT_EQ(made.size(), 1u);
    EXPECT_EQ(made[0].number, 42);
    EXPECT_EQ(made[0].texts[0], text);
    EXPECT_TRUE(thread->ended.load());
}

TEST_F(ThreadLauncher, NumberSlotIsCutToAnIntegerAndHeldInRange) {
    const struct {
        const char* slot;
        int number;
    } cases[] = {
        {"42", 42},
        {"-7.9", -7},
        {"2147483647", INT_MAX},
        {"1e999", INT_MAX},
        {"-1e999", INT_MIN},
        {"99999999999", INT_MAX},
        {"-99999999999", INT_MIN},
        {"abc", 0},
    };
    const Text address_slot = std::to_string(reinterpret_cast<std::uintptr_t>(&recording_entry));
    for (const auto& c : cases) {
        const Text number_slot = c.slot;
        launcher_thread_proc(new ThreadArgumentBlock(
            {&address_slot, &number_slot, nullptr, nullptr, nullptr, nullptr},
            std::make_shared<LaunchedThread>()));
        const std::vector<Call> made = take_calls();
        ASSERT_EQ(made.size(), 1u) << c.slot;
        EXPECT_EQ(made[0].number, c.number) << c.slot;
    }
}

TEST_F(ThreadLauncher, SlotOneThatIsNotAnAddressCallsNothing) {
    // Each of these, read loosely, would name a small address and crash the thread.
    const std::optional<Text> bad_slots[] = {
        std::nullopt, Text(""),      Text("0"),   Text("-5"),
        Text("abc"),  Text("12abc"), Text(" 12"), Text("99999999999999999999999"),
    };
    const Text number_slot = "1";
    for (const auto& slot : bad_slots) {
        auto thread = std::make_shared<LaunchedThread>();
        launcher_thread_proc(new ThreadArgumentBlock(
            {slot ? &*slot : nullptr, &number_slot, nullptr, nullptr, nullptr, nullptr}, thread));
        EXPECT_TRUE(take_calls().empty()) << "slot 1 \"" << slot.value_or("<absent>") << "\"";
        EXPECT_TRUE(thread->ended.load());
    }
}

TEST_F(ThreadLauncher, CallerMayReleaseItsTextsAsSoonAsStartReturns) {
    auto room = std::make_unique<Text>(200, '7');
    ThreadHandle thread = start_worker_thread(recording_entry, 0, room.get());
    ASSERT_TRUE(thread);
    room->assign(200, 'X');
    room.reset();
    ASSERT_TRUE(ended(thread));
    const std::vector<Call> made = take_calls();
    ASSERT_EQ(made.size(), 1u);
    EXPECT_EQ(made[0].texts[0], Text(200, '7'));
}

TEST_F(ThreadLauncher, ManyThreadsEachGetTheirOwnArguments) {
    std::vector<ThreadHandle> threads;
    for (int i = 0; i < 50; ++i) {
        const Text text = std::to_string(i);
        threads.push_back(start_worker_thread(recording_entry, i, &text));
        ASSERT_TRUE(threads.back());
    }
    for (const auto& thread : threads) ASSERT_TRUE(ended(thread));
    std::vector<Call> made = take_calls();
    ASSERT_EQ(made.size(), 50u);
    for (const Call& call : made) {
        EXPECT_EQ(call.texts[0], std::to_string(call.number));
        EXPECT_EQ(call.self, threads[call.number].get());
    }
}

}  // namespace
}  // namespace tavolen
