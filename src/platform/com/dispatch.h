#pragma once

// The by-name dispatch interface that every automation object implements (IDispatch reduced to
// what late binding needs). Objects are reference-counted and used on the thread that created
// them; member names compare without regard to ASCII case, as IDispatch names do.

#include <atomic>
#include <cstdint>
#include <span>
#include <string_view>

#include "platform/com/com_ptr.h"
#include "platform/com/hresult.h"
#include "platform/com/variant.h"

namespace tavolen::com {

enum class InvokeKind : std::uint8_t {
    property_get,  // DISPATCH_PROPERTYGET, optionally with arguments such as Item's index
    property_put,  // DISPATCH_PROPERTYPUT, the value is the last argument
    method,        // DISPATCH_METHOD
};

class Dispatch {
  public:
    Dispatch() = default;
    Dispatch(const Dispatch&) = delete;
    Dispatch& operator=(const Dispatch&) = delete;

    void add_ref() const noexcept { refs_.fetch_add(1, std::memory_order_relaxed); }
    void release() const noexcept {
        if (refs_.fetch_sub(1, std::memory_order_acq_rel) == 1) delete this;
    }
    std::uint32_t ref_count() const noexcept { return refs_.load(std::memory_order_relaxed); }

    // Calls the member `name` ("" is the default member, DISPID_VALUE). `args` come in the
    // order the caller wrote them (not reversed as in DISPPARAMS); a by-reference argument lets
    // the object read or write the caller's Variant. `result` arrives empty. Answers
    //   hr_unknown_name     when the object has no such member,
    //   hr_member_not_found when the member exists but not for this kind of call,
    //   hr_bad_param_count, hr_type_mismatch, hr_bad_index for unusable arguments,
    //   hr_exception        when the member ran and failed (a script error, say).
    // Callers that combine get and call (as VB does for Item) try property_get first.
    virtual HResult invoke(std::string_view name, InvokeKind kind, std::span<Variant> args,
                           Variant& result) = 0;

  protected:
    virtual ~Dispatch() = default;

  private:
    mutable std::atomic<std::uint32_t> refs_{1};  // make_com's pointer holds the first one
};

// True when a and b are equal ignoring the case of ASCII letters.
bool same_name(std::string_view a, std::string_view b) noexcept;

}  // namespace tavolen::com
