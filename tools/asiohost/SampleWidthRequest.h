// Asks the driver for a sample width the way the control panel does: through `requestedBits` of
// the ASIO shared block, which the driver applies in getChannelInfo. The value found there is
// put back afterwards, so the panel's own choice outlives the probe.
#pragma once

#include "common/SharedBlockAccess.h"

#include <string>

namespace asiohost {

class SampleWidthRequest {
public:
    SampleWidthRequest() = default;
    ~SampleWidthRequest();
    SampleWidthRequest(const SampleWidthRequest&) = delete;
    SampleWidthRequest& operator=(const SampleWidthRequest&) = delete;

    // Opens (or creates) the block and writes the width; false with a reason when it cannot.
    bool apply(int bits, std::string& error);

private:
    SharedBlockAccess block_;
    int32_t previous_ = 0;
    bool applied_ = false;
};

} // namespace asiohost
