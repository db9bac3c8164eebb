// One owner per handle: movable, not copyable, released on every path out of scope.
#pragma once

#include <windows.h>
#include <cstdio>
#include <utility>

template <typename Traits>
class UniqueResource {
public:
    using Type = typename Traits::Type;

    UniqueResource() = default;
    explicit UniqueResource(Type value) : value_(value) {}
    ~UniqueResource() { reset(); }
    UniqueResource(const UniqueResource&) = delete;
    UniqueResource& operator=(const UniqueResource&) = delete;
    UniqueResource(UniqueResource&& other) noexcept : value_(other.release()) {}
    UniqueResource& operator=(UniqueResource&& other) noexcept {
        if (this != &other)
            reset(other.release());
        return *this;
    }

    Type get() const { return value_; }
    bool valid() const { return Traits::isValid(value_); }
    explicit operator bool() const { return valid(); }

    Type release() { return std::exchange(value_, Traits::invalid()); }
    void reset(Type value = Traits::invalid()) {
        Type old = std::exchange(value_, value);
        if (Traits::isValid(old))
            Traits::close(old);
    }

private:
    Type value_ = Traits::invalid();
};

struct KernelHandleTraits {
    using Type = HANDLE;
    static Type invalid() { return nullptr; }
    // Creation calls answer failure with either value.
    static bool isValid(Type h) { return h != nullptr && h != INVALID_HANDLE_VALUE; }
    static void close(Type h) { CloseHandle(h); }
};

struct MappedViewTraits {
    using Type = void*;
    static Type invalid() { return nullptr; }
    static bool isValid(Type p) { return p != nullptr; }
    static void close(Type p) { UnmapViewOfFile(p); }
};

struct RegKeyTraits {
    using Type = HKEY;
    static Type invalid() { return nullptr; }
    static bool isValid(Type k) { return k != nullptr; }
    static void close(Type k) { RegCloseKey(k); }
};

struct LocalMemoryTraits {
    using Type = HLOCAL;
    static Type invalid() { return nullptr; }
    static bool isValid(Type p) { return p != nullptr; }
    static void close(Type p) { LocalFree(p); }
};

struct StdioFileTraits {
    using Type = std::FILE*;
    static Type invalid() { return nullptr; }
    static bool isValid(Type f) { return f != nullptr; }
    static void close(Type f) { std::fclose(f); }
};

struct AllocatedSidTraits {
    using Type = PSID;
    static Type invalid() { return nullptr; }
    static bool isValid(Type p) { return p != nullptr; }
    static void close(Type p) { FreeSid(p); }
};

struct FindHandleTraits {
    using Type = HANDLE;
    static Type invalid() { return INVALID_HANDLE_VALUE; }
    static bool isValid(Type h) { return h != INVALID_HANDLE_VALUE; }
    static void close(Type h) { FindClose(h); }
};

using UniqueHandle = UniqueResource<KernelHandleTraits>;
using UniqueView = UniqueResource<MappedViewTraits>;
using UniqueRegKey = UniqueResource<RegKeyTraits>;
using UniqueLocal = UniqueResource<LocalMemoryTraits>;
using UniqueFile = UniqueResource<StdioFileTraits>;
using UniqueSid = UniqueResource<AllocatedSidTraits>; // from AllocateAndInitializeSid
using UniqueFind = UniqueResource<FindHandleTraits>;  // from FindFirstFile
