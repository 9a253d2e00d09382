#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <chrono>
#include <string>
#include <thread>

extern char** environ;

namespace {

// Runs the probe and answers its exit status, or -signal when a signal ended it, or -1000 when
// it did not end within the deadline (then it is killed).
int run_probe(int polling_ms, int after_room_ms) {
    std::string a = std::to_string(polling_ms), b = std::to_string(after_room_ms);
    char* argv[] = {const_cast<char*>(EXIT_WHILE_POLLING_PROBE), a.data(), b.data(), nullptr};
    pid_t child = 0;
    if (posix_spawn(&child, EXIT_WHILE_POLLING_PROBE, nullptr, nullptr, argv, environ) != 0) {
        return -2000;
    }
    int status = 0;
    for (int waited = 0; waited < 6000; ++waited) {
        if (waitpid(child, &status, WNOHANG) == child) {
            return WIFSIGNALED(status) ? -WTERMSIG(status) : WEXITSTATUS(status);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    kill(child, SIGKILL);
    waitpid(child, &status, 0);
    return -1000;
}

// A process that ends while poll loops are mid-pass (sending, receiving, reading the reply,
// trimming, or failing to connect to a room that is gone) ends cleanly. Each run lands on a
// different moment of the loops; a fault in the exit handlers showed up in about half of them.
TEST(ProcessExit, EndingWhileLoopsPollEndsCleanly) {
    for (int run = 0; run < 30; ++run) {
        const int polling_ms = 5 + run * 7 % 30, after_room_ms = run % 5;
        EXPECT_EQ(run_probe(polling_ms, after_room_ms), 0)
            << "probe " << polling_ms << " " << after_room_ms;
    }
}

}  // namespace
