// The audio format and the stream status: through the topology filter, or on the endpoint path
// through the endpoints' registry properties.
#include "UsbAudioDevice.h"

#include "PropertyRequest.h"

namespace {

uint8_t toWire(uint8_t bits) {
    return bits == 24 ? kWireBits24 : bits;
}

uint8_t fromWire(uint8_t bits) {
    return bits == kWireBits24 ? 24 : bits;
}

} // namespace

bool CUsbAudioDevice::AccessFormat(bool get, DeviceFormatRecord* record) {
    if (!platform_ || record == nullptr)
        return false;
    if (UsesEndpointPath())
        return AccessEndpointFormat(get, record);
    if (!topology_)
        return false;
    record->playbackBits = toWire(record->playbackBits);
    record->recordBits = toWire(record->recordBits);
    record->reserved = 0; // carries nothing of the panel's
    return SendDeviceProperty(topology_.get(), kDevPropAudioFormat,
                              get ? kKsPropertyTypeGet : kKsPropertyTypeSet, record);
}

bool CUsbAudioDevice::QueryStreamStatus(StreamStatusRecord* record) {
    if (record == nullptr || !topology_)
        return false;
    if (!SendDeviceProperty(topology_.get(), kDevPropStreamStatus, kKsPropertyTypeGet, record))
        return false;
    record->playbackBits = fromWire(record->playbackBits);
    record->recordBits = fromWire(record->recordBits);
    return true;
}

// Every endpoint of a direction is kept at one format: the first that differs from what the
// record expects becomes the answer and the others are made equal to it.
bool CUsbAudioDevice::ReadFlowFormat(int flow, DWORD* rate, WORD* bits) {
    const int count = flow == kFlowRender ? renderCount_ : captureCount_;
    const wchar_t(*ids)[kEndpointIdChars] = flow == kFlowRender ? renderIds_ : captureIds_;
    DWORD lastRate = 0;
    WORD lastChannels = 0;
    WORD lastBits = 0;
    int differing = -1;
    for (int i = 0; i < count && i < kEndpointSlots; ++i) {
        if (!ReadEndpointFormat(ids[i], flow, &lastRate, &lastChannels, &lastBits))
            return false;
        if (lastRate != *rate || (lastBits & 0xFF) != *bits) {
            differing = i;
            break;
        }
    }
    if (differing >= 0) {
        for (int i = 0; i < count && i < kEndpointSlots; ++i) {
            if (i != differing &&
                !WriteEndpointFormat(ids[i], flow, lastRate, lastChannels, lastBits))
                return false;
        }
    }
    *rate = lastRate;
    *bits = lastBits;
    return true;
}

bool CUsbAudioDevice::AccessEndpointFormat(bool get, DeviceFormatRecord* record) {
    if (renderCount_ < 1 && captureCount_ < 1)
        return false;
    if (!get) {
        const WORD playBits = record->playbackBits == kWireBits24 ? 24 : record->playbackBits;
        const WORD recBits = record->recordBits == kWireBits24 ? 24 : record->recordBits;
        for (int i = 0; i < renderCount_ && i < kEndpointSlots; ++i) {
            if (!WriteEndpointFormat(renderIds_[i], kFlowRender, record->playbackRate, 2, playBits))
                return false;
        }
        for (int i = 0; i < captureCount_ && i < kEndpointSlots; ++i) {
            if (!WriteEndpointFormat(captureIds_[i], kFlowCapture, record->recordRate, 2, recBits))
                return false;
        }
        return true;
    }

    record->size = sizeof(DeviceFormatRecord);
    record->playbackFixed = 1;
    record->recordFixed = 1;
    DWORD rate = record->playbackRate;
    WORD bits = record->playbackBits;
    if (!ReadFlowFormat(kFlowRender, &rate, &bits))
        return false;
    record->playbackRate = rate;
    record->playbackBits = fromWire(static_cast<uint8_t>(bits));
    if (captureCount_ < 1) {
        record->recordRate = rate;
        record->recordBits = record->playbackBits;
        return true;
    }
    rate = record->recordRate;
    bits = record->recordBits;
    if (!ReadFlowFormat(kFlowCapture, &rate, &bits))
        return false;
    record->recordRate = rate;
    record->recordBits = fromWire(static_cast<uint8_t>(bits));
    return true;
}
