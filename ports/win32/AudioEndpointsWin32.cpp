#include "ports/AudioEndpoints.h"

namespace {

// Spelled out here: the system headers declare them without the definitions a link needs.
constexpr CLSID kMMDeviceEnumerator = {
    0xBCDE0395, 0xE52F, 0x467C, {0x8E, 0x3D, 0xC4, 0x57, 0x92, 0x91, 0x69, 0x2E}};
constexpr IID kIMMDeviceEnumerator = {
    0xA95664D2, 0x9614, 0x4F35, {0xA7, 0x46, 0xDE, 0x8D, 0xB6, 0x36, 0x17, 0xE6}};

class AudioEndpointsWin32 final : public AudioEndpoints {
public:
    HRESULT createEnumerator(IMMDeviceEnumerator** enumerator) override {
        return CoCreateInstance(kMMDeviceEnumerator, nullptr, CLSCTX_ALL, kIMMDeviceEnumerator,
                                reinterpret_cast<void**>(enumerator));
    }
};

} // namespace

AudioEndpoints& audioEndpoints() {
    static AudioEndpointsWin32 instance;
    return instance;
}
