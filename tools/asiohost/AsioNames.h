// Readable names for the ASIO codes the host prints.
#pragma once

#include "asio/AsioInterface.h"

#include <string>

namespace asiohost {

// "ASE_OK", "ASE_NotPresent (-1000)", ... or the number when unknown.
std::string errorName(ASIOError code);
// "Int16LSB", ... or "type N".
std::string sampleTypeName(ASIOSampleType type);
// "kAsioResetRequest", ... or "selector N".
std::string messageName(long selector);

} // namespace asiohost
