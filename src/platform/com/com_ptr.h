#pragma once

// An owning pointer to a reference-counted automation object: copying adds a reference,
// destruction and reset() release one. T needs add_ref() and release().

#include <cstddef>
#include <type_traits>
#include <utility>

namespace tavolen::com {

template <typename T>
class ComPtr {
  public:
    ComPtr() noexcept = default;
    ComPtr(std::nullptr_t) noexcept {}
    ComPtr(const ComPtr& other) noexcept : ptr_(other.ptr_) { acquire(); }
    ComPtr(ComPtr&& other) noexcept : ptr_(std::exchange(other.ptr_, nullptr)) {}
    template <typename U>
    requires std::is_convertible_v<U*, T*> ComPtr(const ComPtr<U>& other)
    noexcept : ptr_(other.get()) { acquire(); }
    template <typename U>
    requires std::is_convertible_v<U*, T*> ComPtr(ComPtr<U>&& other)
    noexcept : ptr_(other.detach()) {}
    ~ComPtr() { reset(); }

    ComPtr& operator=(ComPtr other) noexcept {
        std::swap(ptr_, other.ptr_);
        return *this;
    }

    // Takes over a reference that the caller already owns.
    static ComPtr adopt(T* raw) noexcept {
        ComPtr result;
        result.ptr_ = raw;
        return result;
    }
    // Adds a reference of its own.
    static ComPtr share(T* raw) noexcept {
        ComPtr result = adopt(raw);
        result.acquire();
        return result;
    }

    void reset() noexcept {
        if (T* old = std::exchange(ptr_, nullptr)) old->release();
    }
    T* detach() noexcept { return std::exchange(ptr_, nullptr); }

    T* get() const noexcept { return ptr_; }
    T* operator->() const noexcept { return ptr_; }
    T& operator*() const noexcept { return *ptr_; }
    explicit operator bool() const noexcept { return ptr_ != nullptr; }
    friend bool operator==(const ComPtr& a, const ComPtr& b) noexcept { return a.ptr_ == b.ptr_; }

  private:
    void acquire() noexcept {
        if (ptr_) ptr_->add_ref();
    }

    T* ptr_ = nullptr;
};

// Creates an object holding its first reference.
template <typename T, typename... Args>
ComPtr<T> make_com(Args&&... args) {
    return ComPtr<T>::adopt(new T(std::forward<Args>(args)...));
}

}  // namespace tavolen::com
