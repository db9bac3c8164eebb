// One owner per interface pointer: released on every path out of scope.
#pragma once

#include <windows.h>
#include <unknwn.h>

#include <utility>

template <typename T>
class ComRef {
public:
    ComRef() = default;
    ~ComRef() { reset(); }
    ComRef(const ComRef&) = delete;
    ComRef& operator=(const ComRef&) = delete;

    T* get() const { return p_; }
    T* operator->() const { return p_; }
    explicit operator bool() const { return p_ != nullptr; }
    // For the calls that hand out a new reference.
    T** out() {
        reset();
        return &p_;
    }
    void reset() {
        if (T* old = std::exchange(p_, nullptr))
            old->Release();
    }

private:
    T* p_ = nullptr;
};
