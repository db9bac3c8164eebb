// The panel's side of the ASIO shared block: the same open-or-create rule as the driver's.
#include "UsbAudioDevice.h"

bool CUsbAudioDevice::OpenAsioShared() {
    if (!platform_)
        return false;
    if (sharedOpen_)
        return true;
    if (!shared_.open()) {
        CloseAsioShared();
        return false;
    }
    sharedOpen_ = true;
    return true;
}

void CUsbAudioDevice::CloseAsioShared() {
    if (!platform_)
        return;
    shared_.close();
    sharedOpen_ = false;
}

bool CUsbAudioDevice::ReadAsioState(AsioStateRecord* record) {
    if (record == nullptr || !sharedOpen_)
        return false;
    const AsioSharedBlock* block = shared_.valid();
    if (block == nullptr)
        return false;
    // The driver writes these from other threads and processes: read each once, from memory.
    auto read = [](const int32_t& field) { return *static_cast<const volatile int32_t*>(&field); };
    record->driverLoaded = read(block->driverLoaded) != 0;
    record->streamRunning = read(block->streamRunning) != 0;
    record->outputChannelsInUse = static_cast<uint32_t>(read(block->outputChannelsInUse));
    record->inputChannelsInUse = static_cast<uint32_t>(read(block->inputChannelsInUse));
    record->bufferFrames = static_cast<uint32_t>(read(block->bufferFrames));
    record->sampleRate = static_cast<uint32_t>(read(block->sampleRate));
    record->sampleBits = static_cast<uint32_t>(read(block->sampleBits));
    return true;
}
