#include "SimWaveFormat.h"

#include <cstring>

namespace sim {

namespace {

constexpr DWORD kMinRate = 8000;
constexpr DWORD kMaxRate = 96000;
constexpr WORD kChannels = 2;
constexpr DWORD kStereoMask = SPEAKER_FRONT_LEFT | SPEAKER_FRONT_RIGHT;
// KSDATAFORMAT_SUBTYPE_PCM
constexpr GUID kSubtypePcm = {
    0x00000001, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}};
constexpr WORD kExtensibleExtra = sizeof(WAVEFORMATEXTENSIBLE) - sizeof(WAVEFORMATEX);

bool sameGuid(const GUID& a, const GUID& b) {
    return std::memcmp(&a, &b, sizeof(GUID)) == 0;
}

bool acceptedContainer(WORD bits) {
    return bits == 16 || bits == 24;
}

// The fields every PCM record shares, checked against each other.
bool consistentPcm(const WAVEFORMATEX& f) {
    if (f.nChannels != kChannels || !acceptedContainer(f.wBitsPerSample))
        return false;
    if (f.nSamplesPerSec < kMinRate || f.nSamplesPerSec > kMaxRate)
        return false;
    if (f.nBlockAlign != kChannels * f.wBitsPerSample / 8)
        return false;
    return f.nAvgBytesPerSec == f.nSamplesPerSec * f.nBlockAlign;
}

} // namespace

MMRESULT acceptFormat(const WAVEFORMATEX* format, StreamFormat* accepted,
                      WAVEFORMATEXTENSIBLE* copy) {
    if (format == nullptr)
        return MMSYSERR_INVALPARAM;
    WAVEFORMATEXTENSIBLE record = {};
    if (format->wFormatTag == WAVE_FORMAT_PCM) {
        // A PCM record may be the short PCMWAVEFORMAT: its size field is not there to read.
        std::memcpy(&record, format, sizeof(PCMWAVEFORMAT));
        if (!consistentPcm(record.Format))
            return WAVERR_BADFORMAT;
    } else if (format->wFormatTag == WAVE_FORMAT_EXTENSIBLE) {
        if (format->cbSize < kExtensibleExtra)
            return WAVERR_BADFORMAT;
        std::memcpy(&record, format, sizeof(record));
        const WORD valid = record.Samples.wValidBitsPerSample;
        if (!consistentPcm(record.Format) || !sameGuid(record.SubFormat, kSubtypePcm) ||
            valid == 0 || valid > record.Format.wBitsPerSample)
            return WAVERR_BADFORMAT;
        if (record.dwChannelMask != 0 && record.dwChannelMask != kStereoMask)
            return WAVERR_BADFORMAT;
    } else {
        return WAVERR_BADFORMAT;
    }
    if (accepted != nullptr) {
        accepted->rate = record.Format.nSamplesPerSec;
        accepted->blockAlign = record.Format.nBlockAlign;
    }
    if (copy != nullptr)
        *copy = record;
    return MMSYSERR_NOERROR;
}

} // namespace sim
