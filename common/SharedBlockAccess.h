// Maps the ASIO shared block with the rule both sides follow: whoever opens it first creates
// it, zero-fills it and writes the magic.
#pragma once

#include "AsioSharedBlock.h"
#include "NamedMapping.h"

class SharedBlockAccess {
public:
    // Open or create; false when no mapping or no view could be had.
    bool open();
    void close();

    bool created() const { return mapping_.created; }
    AsioSharedBlock* raw() const { return static_cast<AsioSharedBlock*>(mapping_.view.get()); }
    // The block is there and carries the magic: the test before every access.
    AsioSharedBlock* valid() const {
        AsioSharedBlock* b = raw();
        return b != nullptr && b->magic == kAsioSharedBlockMagic ? b : nullptr;
    }

private:
    NamedMapping mapping_;
};
