#include "SharedBlockAccess.h"

#include <cstring>

bool SharedBlockAccess::open() {
    close();
    mapping_ = OpenOrCreateMapping(kAsioSharedBlockName, sizeof(AsioSharedBlock));
    if (!mapping_.mapped())
        return false;
    if (mapping_.created) {
        std::memset(raw(), 0, sizeof(AsioSharedBlock));
        raw()->magic = kAsioSharedBlockMagic;
    }
    return true;
}

void SharedBlockAccess::close() {
    mapping_ = NamedMapping{};
}
