#include "SampleWidthRequest.h"

namespace asiohost {

SampleWidthRequest::~SampleWidthRequest() {
    if (!applied_)
        return;
    if (AsioSharedBlock* block = block_.valid())
        block->requestedBits = previous_;
}

bool SampleWidthRequest::apply(int bits, std::string& error) {
    if (!block_.open()) {
        error = "the ASIO shared block could not be opened or created";
        return false;
    }
    AsioSharedBlock* block = block_.valid();
    if (block == nullptr) {
        error = "the ASIO shared block does not carry its magic value";
        return false;
    }
    if (!applied_)
        previous_ = block->requestedBits;
    block->requestedBits = bits;
    applied_ = true;
    return true;
}

} // namespace asiohost
