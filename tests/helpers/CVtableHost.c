/* A host written in plain C that shares no header with the driver: it declares the structures
 * with 4-byte packing and calls the driver through raw vtable slots with the thiscall
 * convention, as hosts built with another compiler do. It exits 0 when every answer and every
 * callback is what the published interface promises, and prints what it found otherwise. */
#define COBJMACROS
#include <windows.h>
#include <objbase.h>

#include <stdio.h>
#include <string.h>

#pragma pack(push, 4)
typedef struct {
    long isInput;
    long channelNum;
    void* buffers[2];
} BufferInfo;
typedef struct {
    long channel;
    long isInput;
    long isActive;
    long channelGroup;
    long type;
    char name[32];
} ChannelInfo;
typedef struct {
    long index;
    long associatedChannel;
    long associatedGroup;
    long isCurrentSource;
    char name[32];
} ClockSource;
typedef struct {
    void (*bufferSwitch)(long index, long direct);
    void (*sampleRateDidChange)(double rate);
    long (*asioMessage)(long selector, long value, void* message, double* opt);
    void* (*bufferSwitchTimeInfo)(void* params, long index, long direct);
} Callbacks;
#pragma pack(pop)

#define THISCALL __attribute__((thiscall))
typedef long(THISCALL* InitFn)(void* self, void* sysHandle);
typedef void(THISCALL* TextFn)(void* self, char* text);
typedef long(THISCALL* NoArgFn)(void* self);
typedef long(THISCALL* TwoLongsFn)(void* self, long* a, long* b);
typedef long(THISCALL* FourLongsFn)(void* self, long* a, long* b, long* c, long* d);
typedef long(THISCALL* RateFn)(void* self, double rate);
typedef long(THISCALL* RateOutFn)(void* self, double* rate);
typedef long(THISCALL* ClocksFn)(void* self, ClockSource* clocks, long* count);
typedef long(THISCALL* ChannelInfoFn)(void* self, ChannelInfo* info);
typedef long(THISCALL* CreateBuffersFn)(void* self, BufferInfo* infos, long count, long frames,
                                        Callbacks* callbacks);
typedef long(THISCALL* FutureFn)(void* self, long selector, void* opt);
typedef ULONG(STDMETHODCALLTYPE* ReleaseFn)(void* self);

enum {
    SlotRelease = 2,
    SlotInit,
    SlotGetDriverName,
    SlotGetDriverVersion,
    SlotGetErrorMessage,
    SlotStart,
    SlotStop,
    SlotGetChannels,
    SlotGetLatencies,
    SlotGetBufferSize,
    SlotCanSampleRate,
    SlotGetSampleRate,
    SlotSetSampleRate,
    SlotGetClockSources,
    SlotSetClockSource,
    SlotGetSamplePosition,
    SlotGetChannelInfo,
    SlotCreateBuffers,
    SlotDisposeBuffers,
    SlotControlPanel,
    SlotFuture,
    SlotOutputReady
};

static const GUID kDriverClass = {
    0x58527022, 0x702F, 0x47D6, {0xB9, 0xF4, 0x97, 0x55, 0x6F, 0x3F, 0xF0, 0x61}};

static int failures;
static volatile LONG switches;
static volatile LONG badSwitchIndex;

static void check(int ok, const char* what) {
    if (!ok) {
        printf("FAILED: %s\n", what);
        ++failures;
    }
}

static void onSwitch(long index, long direct) {
    if ((index != 0 && index != 1) || direct != 0)
        InterlockedIncrement(&badSwitchIndex);
    InterlockedIncrement(&switches);
}
static long onMessage(long selector, long value, void* message, double* opt) {
    (void)value, (void)message, (void)opt;
    return selector == 1 ? 1 : 0; /* selector supported; no time information */
}

int main(void) {
    void* driver = NULL;
    void** vtable;
    char text[128];
    long a = 0, b = 0, c = 0, d = 0;
    double rate = 0;
    ClockSource clocks[2];
    ChannelInfo info;
    BufferInfo infos[4];
    Callbacks callbacks = {onSwitch, NULL, onMessage, NULL};
    int i;

#ifdef _WIN64
    const size_t bufferInfoSize = 24; /* the two buffer pointers widen */
#else
    const size_t bufferInfoSize = 16;
#endif
    if (sizeof(BufferInfo) != bufferInfoSize || sizeof(ChannelInfo) != 52 ||
        sizeof(ClockSource) != 48) {
        printf("FAILED: host structure sizes\n");
        return 2;
    }
    CoInitialize(NULL);
    if (FAILED(
            CoCreateInstance(&kDriverClass, NULL, CLSCTX_INPROC_SERVER, &kDriverClass, &driver)) ||
        driver == NULL) {
        printf("FAILED: CoCreateInstance\n");
        return 3;
    }
    vtable = *(void***)driver;

    check(((InitFn)vtable[SlotInit])(driver, GetDesktopWindow()) == 1, "init");
    memset(text, 'x', sizeof(text));
    ((TextFn)vtable[SlotGetDriverName])(driver, text);
    check(strcmp(text, "Quenvora-K9 USB Audio ASIO") == 0, "getDriverName");
    check(((NoArgFn)vtable[SlotGetDriverVersion])(driver) == 1, "getDriverVersion");
    check(((TwoLongsFn)vtable[SlotGetChannels])(driver, &a, &b) == 0 && a == 2 && b == 2,
          "getChannels");
    check(((TwoLongsFn)vtable[SlotGetLatencies])(driver, &a, &b) == 0 && a == 6144 && b == 12288,
          "getLatencies");
    check(((FourLongsFn)vtable[SlotGetBufferSize])(driver, &a, &b, &c, &d) == 0 && a == 128 &&
              b == 6144 && d == 32,
          "getBufferSize");
    check(((RateFn)vtable[SlotCanSampleRate])(driver, 96000.0) == 0, "canSampleRate 96000");
    check(((RateFn)vtable[SlotCanSampleRate])(driver, 44100.5) == -995, "canSampleRate 44100.5");
    check(((RateFn)vtable[SlotSetSampleRate])(driver, 48000.0) == 0, "setSampleRate");
    check(((RateOutFn)vtable[SlotGetSampleRate])(driver, &rate) == 0 && rate == 48000.0,
          "getSampleRate");
    memset(clocks, 0, sizeof(clocks));
    check(((ClocksFn)vtable[SlotGetClockSources])(driver, clocks, &a) == 0 && a == 1 &&
              clocks[0].associatedChannel == -1 && strcmp(clocks[0].name, "Internal") == 0,
          "getClockSources");
    memset(&info, 0, sizeof(info));
    info.channel = 1;
    info.isInput = 1;
    check(((ChannelInfoFn)vtable[SlotGetChannelInfo])(driver, &info) == 0 &&
              strcmp(info.name, "Quenvora-K9_ASIO_In_0 (R)") == 0 && info.type == 16,
          "getChannelInfo");
    check(((FutureFn)vtable[SlotFuture])(driver, 10, NULL) == 0x3F4847A0, "future(10)");
    check(((NoArgFn)vtable[SlotOutputReady])(driver) == -1000, "outputReady");

    for (i = 0; i < 4; ++i) {
        infos[i].isInput = i < 2;
        infos[i].channelNum = i % 2;
        infos[i].buffers[0] = infos[i].buffers[1] = NULL;
    }
    check(((CreateBuffersFn)vtable[SlotCreateBuffers])(driver, infos, 4, 256, &callbacks) == 0,
          "createBuffers");
    check(infos[3].buffers[0] != NULL &&
              (char*)infos[3].buffers[1] - (char*)infos[3].buffers[0] == 512,
          "buffer halves");
    check(((NoArgFn)vtable[SlotStart])(driver) == 0, "start");
    for (i = 0; i < 300 && switches < 20; ++i)
        Sleep(10);
    check(((NoArgFn)vtable[SlotStop])(driver) == 0, "stop");
    check(switches >= 20, "buffer switches arrive through the host's cdecl callback");
    check(badSwitchIndex == 0, "buffer switch arguments");
    check(((NoArgFn)vtable[SlotDisposeBuffers])(driver) == 0, "disposeBuffers");
    ((ReleaseFn)vtable[SlotRelease])(driver);
    CoUninitialize();

    printf("%s: %ld buffer switches\n", failures == 0 ? "ok" : "FAILED", (long)switches);
    return failures == 0 ? 0 : 1;
}
