#include "SimInstallerRecord.h"

#include "common/NamedMapping.h"

#include <cstring>

namespace sim {

SimInstallerRecord* installerRecord() {
    // Kept for the life of the process, like the machine state.
    static NamedMapping* mapping =
        new NamedMapping(OpenOrCreateMapping(kInstallerRecordName, sizeof(SimInstallerRecord)));
    if (mapping->mapped())
        return static_cast<SimInstallerRecord*>(mapping->view.get());
    static SimInstallerRecord privateRecord;
    return &privateRecord;
}

void clearInstallerRecord() {
    std::memset(static_cast<void*>(installerRecord()), 0, sizeof(SimInstallerRecord));
}

} // namespace sim
