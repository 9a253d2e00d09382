#pragma once

// Creation by ProgID (CLSIDFromProgID + CoCreateInstance + OleRun in one step) and the
// per-thread COM initialisation count that creation checks.

#include <string_view>

#include "platform/com/dispatch.h"
#include "platform/com/hresult.h"

namespace tavolen::com {

// A factory answers a new object holding one reference, or null when it cannot make one.
using ClassFactory = DispatchPtr (*)();

// Registers (or replaces) the factory of a ProgID. ProgIDs compare without regard to ASCII
// case. Thread-safe; an empty ProgID or a null factory is refused (false).
bool register_class(std::string_view prog_id, ClassFactory factory);
bool is_class_registered(std::string_view prog_id);

// Creates an instance on the calling thread. Fails with hr_not_initialized when the thread has
// not initialised COM, hr_invalid_class_string for an unknown ProgID, hr_out_of_memory when
// the factory makes nothing. `object` is written only on success.
HResult create_instance(std::string_view prog_id, DispatchPtr& object);

// CoInitialize / CoUninitialize: counted per thread. The first call on a thread answers hr_ok,
// later ones hr_false; every call, successful, must be balanced by one co_uninitialize.
// co_uninitialize on a thread whose count is 0 does nothing.
HResult co_initialize();
void co_uninitialize();
// The calling thread's count of calls not yet balanced (at most INT_MAX is reported).
int com_init_count();
bool com_initialized();

}  // namespace tavolen::com
