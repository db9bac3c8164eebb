// Owners of the setup library's handles, closed by the real calls: device lists, INF files, file
// queues and queue-callback contexts.
#pragma once

#include "common/UniqueResource.h"

#include <setupapi.h>

struct DeviceListTraits {
    using Type = HDEVINFO;
    static Type invalid() { return INVALID_HANDLE_VALUE; }
    static bool isValid(Type set) { return set != INVALID_HANDLE_VALUE && set != nullptr; }
    static void close(Type set) { SetupDiDestroyDeviceInfoList(set); }
};
using UniqueDeviceList = UniqueResource<DeviceListTraits>;

struct InfFileTraits {
    using Type = HINF;
    static Type invalid() { return INVALID_HANDLE_VALUE; }
    static bool isValid(Type inf) { return inf != INVALID_HANDLE_VALUE && inf != nullptr; }
    static void close(Type inf) { SetupCloseInfFile(inf); }
};
using UniqueInfFile = UniqueResource<InfFileTraits>;

struct FileQueueTraits {
    using Type = HSPFILEQ;
    static Type invalid() { return INVALID_HANDLE_VALUE; }
    static bool isValid(Type queue) { return queue != INVALID_HANDLE_VALUE && queue != nullptr; }
    static void close(Type queue) { SetupCloseFileQueue(queue); }
};
using UniqueFileQueue = UniqueResource<FileQueueTraits>;

struct QueueContextTraits {
    using Type = void*;
    static Type invalid() { return nullptr; }
    static bool isValid(Type context) { return context != nullptr; }
    static void close(Type context) { SetupTermDefaultQueueCallback(context); }
};
using UniqueQueueContext = UniqueResource<QueueContextTraits>;
