// The Quenvora-K9's topology filter: keeps the format the panel chose per direction and reports
// the streams the device runs. Other devices' filters know nothing of the device's property set.
#include "SharedRead.h"
#include "SimDeviceState.h"
#include "SimKernelDevices.h"

#include "cpl/device/DeviceWireRecords.h"

#include <algorithm>
#include <iterator>
#include <cstring>

namespace sim {

namespace {

// The rates the device's clock can run.
constexpr uint32_t kDeviceRates[] = {8000,  11025, 16000, 22050,  32000, 44100,
                                     48000, 88200, 96000, 176400, 192000};

BOOL refuse(DWORD error) {
    SetLastError(error);
    return FALSE;
}

bool acceptable(uint8_t fixed, uint8_t bits, uint32_t rate) {
    if (fixed == 0)
        return true; // automatic: bits and rate are not looked at
    if (bits != 16 && bits != kWireBits24)
        return false; // 24 itself never crosses this wire
    return std::find(std::begin(kDeviceRates), std::end(kDeviceRates), rate) !=
           std::end(kDeviceRates);
}

SimChosenFormat chosen(uint8_t fixed, uint8_t bits, uint32_t rate) {
    return fixed != 0 ? SimChosenFormat{1, bits, rate} : SimChosenFormat{0, 0, 0};
}

void getFormat(const SimState* s, DeviceFormatRecord* record) {
    const SimChosenFormat play = readChosen(s->chosenFormat[0]);
    const SimChosenFormat rec = readChosen(s->chosenFormat[1]);
    *record = DeviceFormatRecord{sizeof(DeviceFormatRecord),
                                 play.fixed,
                                 rec.fixed,
                                 play.wireBits,
                                 rec.wireBits,
                                 0,
                                 play.rate,
                                 rec.rate};
}

// A new choice applies to the streams opened after it; a running stream keeps its format.
bool setFormat(SimState* s, const DeviceFormatRecord& record) {
    if (!acceptable(record.playbackFixed, record.playbackBits, record.playbackRate) ||
        !acceptable(record.recordFixed, record.recordBits, record.recordRate))
        return false;
    s->chosenFormat[0] = chosen(record.playbackFixed, record.playbackBits, record.playbackRate);
    s->chosenFormat[1] = chosen(record.recordFixed, record.recordBits, record.recordRate);
    return true;
}

void getStatus(const SimState* s, StreamStatusRecord* record) {
    *record = StreamStatusRecord{};
    record->unused = sizeof(StreamStatusRecord);
    const SimStreamActivity& play = s->streamActivity[0];
    const SimStreamActivity& rec = s->streamActivity[1];
    if (sharedRead(play.running) > 0) {
        record->playbackActive = 1;
        record->playbackFixed = sharedRead(play.fixed);
        record->playbackBits = sharedRead(play.wireBits);
        record->playbackRate = sharedRead(play.rate);
    }
    if (sharedRead(rec.running) > 0) {
        record->recordActive = 1;
        record->recordFixed = sharedRead(rec.fixed);
        record->recordBits = sharedRead(rec.wireBits);
        record->recordRate = sharedRead(rec.rate);
    }
}

} // namespace

int findTopologyFilter(const char* path) {
    const SimState* s = state();
    const int count = std::clamp(sharedRead(s->topologyFilterCount), 0, kMaxTopologyFilters);
    for (int i = 0; i < count; ++i) {
        SimTopologyFilter f = s->topologyFilters[i];
        f.interfacePath[sizeof(f.interfacePath) - 1] = '\0';
        if (lstrcmpiA(f.interfacePath, path) != 0)
            continue;
        if (!isDeviceFilter(i) && std::strncmp(f.service, kDeviceService, sizeof(f.service)) == 0)
            return -1; // the device's own filter while it is unplugged
        return i;
    }
    return -1;
}

bool isDeviceFilter(int filter) {
    const SimState* s = state();
    if (filter < 0 || filter >= kMaxTopologyFilters || switchedOn(s->unplugged))
        return false;
    return std::strncmp(s->topologyFilters[filter].service, kDeviceService,
                        sizeof(s->topologyFilters[filter].service)) == 0;
}

BOOL topologyRequest(int filter, DWORD code, void* in, DWORD inSize, void* out, DWORD outSize,
                     DWORD* returned) {
    SimState* s = state();
    if (returned != nullptr)
        *returned = 0;
    if (const DWORD delay = sharedRead(s->faults.topologyRequestDelayMs); delay != 0)
        Sleep(delay);
    InterlockedIncrement(&s->topologyRequests);
    if (switchedOn(s->unplugged))
        return refuse(ERROR_DEVICE_NOT_CONNECTED);
    if (code != kIoctlKsProperty)
        return refuse(ERROR_INVALID_FUNCTION);
    if (in == nullptr || inSize < sizeof(KsPropertyHeader) || returned == nullptr)
        return refuse(ERROR_INVALID_PARAMETER);
    KsPropertyHeader property;
    std::memcpy(&property, in, sizeof(property));
    if (!isDeviceFilter(filter) || !IsEqualGUID(property.set, kDevicePropertySet))
        return refuse(ERROR_SET_NOT_FOUND);
    if (switchedOn(s->faults.topologyRequestFails))
        return refuse(ERROR_GEN_FAILURE);
    if (out == nullptr || outSize < kPropertyValueBytes)
        return refuse(ERROR_INSUFFICIENT_BUFFER);

    if (property.id == kDevPropAudioFormat && property.flags == kKsPropertyTypeGet) {
        DeviceFormatRecord record;
        getFormat(s, &record);
        std::memcpy(out, &record, sizeof(record));
    } else if (property.id == kDevPropAudioFormat && property.flags == kKsPropertyTypeSet) {
        if (switchedOn(s->faults.formatSetsRefused))
            return refuse(ERROR_INVALID_PARAMETER); // as for a format the device will not take
        DeviceFormatRecord record;
        std::memcpy(&record, out, sizeof(record));
        if (!setFormat(s, record))
            return refuse(ERROR_INVALID_PARAMETER);
    } else if (property.id == kDevPropStreamStatus && property.flags == kKsPropertyTypeGet) {
        StreamStatusRecord record;
        getStatus(s, &record);
        std::memcpy(out, &record, sizeof(record));
    } else {
        return refuse(ERROR_NOT_FOUND);
    }
    *returned = kPropertyValueBytes;
    return TRUE;
}

} // namespace sim
