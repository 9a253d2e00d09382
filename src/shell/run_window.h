#pragma once

class QApplication;

namespace tavolen {

// Runs the UI message loop until the last window closes, then ends the process at once with the
// loop's status. A worker still running ends with the process: it is told to stop, but nothing
// waits for it and nothing is torn down under it (it may sit in a list call that the finished
// loop will never answer).
[[noreturn]] void run_until_closed(QApplication& application);

}  // namespace tavolen
