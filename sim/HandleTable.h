// Objects this process handed out behind handles and has not closed yet. A handle is looked up
// here before anything behind it is used, so a stale or made-up one is refused, never followed.
#pragma once

#include "common/CriticalSection.h"

#include <algorithm>
#include <memory>
#include <vector>

namespace sim {

template <typename Object>
class HandleTable {
public:
    // One table per kind for the whole process: handles may outlive the statics.
    static HandleTable& instance() {
        static HandleTable* table = new HandleTable();
        return *table;
    }

    // Takes the object; its address is the handle.
    void* add(std::unique_ptr<Object> object) {
        Locked l(lock_);
        open_.push_back(object.get());
        return object.release();
    }
    // The object behind a handle, or nullptr; for objects only their one owner closes.
    Object* find(const void* handle) {
        Locked l(lock_);
        auto at = std::find(open_.begin(), open_.end(), handle);
        return at == open_.end() ? nullptr : *at;
    }
    // A copy made under the lock, for handles another thread may close at any moment.
    bool copy(const void* handle, Object* out) {
        Locked l(lock_);
        auto at = std::find(open_.begin(), open_.end(), handle);
        if (at == open_.end())
            return false;
        *out = **at;
        return true;
    }
    // Forgets the handle and hands its object back; nullptr for an unknown handle.
    std::unique_ptr<Object> take(const void* handle) {
        Locked l(lock_);
        auto at = std::find(open_.begin(), open_.end(), handle);
        if (at == open_.end())
            return nullptr;
        std::unique_ptr<Object> object(*at);
        open_.erase(at);
        return object;
    }

private:
    HandleTable() = default;
    CriticalSection lock_;
    std::vector<Object*> open_;
};

} // namespace sim
