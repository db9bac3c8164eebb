#include "InfPreinstall.h"

#include "InstallerRun.h"
#include "SetupHandles.h"

namespace {

constexpr DWORD kQueueSettleMs = 1000;

// What the queue's callback is given: the default handling's context, and what it notes of the
// copies as they are made.
struct CopyWatch {
    void* defaultContext = nullptr;
    bool targetWasThere = false;
    std::vector<std::wstring> created;
};

bool exists(const wchar_t* path) {
    return path != nullptr && GetFileAttributesW(path) != INVALID_FILE_ATTRIBUTES;
}

UINT handleNotification(CopyWatch& watch, UINT notification, UINT_PTR param1, UINT_PTR param2) {
    switch (notification) {
    case SPFILENOTIFY_NEEDMEDIA: {
        // Nothing may ask the user: a source file that is not where the INF says is skipped.
        const auto* media = reinterpret_cast<const SOURCE_MEDIA_W*>(param1);
        if (media == nullptr || media->SourcePath == nullptr || media->SourceFile == nullptr)
            return FILEOP_SKIP;
        const std::wstring source = std::wstring(media->SourcePath) + L"\\" + media->SourceFile;
        return exists(source.c_str()) ? FILEOP_DOIT : FILEOP_SKIP;
    }
    case SPFILENOTIFY_COPYERROR:
    case SPFILENOTIFY_DELETEERROR:
    case SPFILENOTIFY_RENAMEERROR:
        return FILEOP_SKIP;
    case SPFILENOTIFY_STARTCOPY:
        watch.targetWasThere = exists(reinterpret_cast<const FILEPATHS_W*>(param1)->Target);
        break;
    case SPFILENOTIFY_ENDCOPY: {
        // Only a file this copy brought is the package's to take away again.
        const auto* paths = reinterpret_cast<const FILEPATHS_W*>(param1);
        if (paths->Win32Error == NO_ERROR && !watch.targetWasThere && exists(paths->Target))
            AddOnce(watch.created, paths->Target);
        break;
    }
    default:
        break;
    }
    return SetupDefaultQueueCallbackW(watch.defaultContext, notification, param1, param2);
}

UINT CALLBACK watchingQueueCallback(void* context, UINT notification, UINT_PTR param1,
                                    UINT_PTR param2) {
    try {
        return handleNotification(*static_cast<CopyWatch*>(context), notification, param1, param2);
    } catch (...) {
        return FILEOP_SKIP;
    }
}

void copySectionFiles(InstallerRun& run, HINF inf, CopyWatch& watch) {
    UniqueFileQueue queue(SetupOpenFileQueue());
    if (!queue)
        return;
    SetupInstallFilesFromInfSectionW(inf, nullptr, queue.get(), run.options.infSection.c_str(),
                                     nullptr, SP_COPY_FORCE_NEWER);
    UniqueQueueContext context(SetupInitDefaultQueueCallback(nullptr));
    if (!context)
        return;
    watch.defaultContext = context.get();
    SetupCommitFileQueueW(nullptr, queue.get(), watchingQueueCallback, &watch);
    run.shell.pause(kQueueSettleMs);
}

} // namespace

bool PreinstallInf(InstallerRun& run, StagedPackage& staged) {
    const wchar_t* infPath = run.options.infPath.c_str();
    UniqueInfFile inf(SetupOpenInfFileW(infPath, nullptr, INF_STYLE_WIN4, nullptr));
    if (inf) {
        CopyWatch watch;
        copySectionFiles(run, inf.get(), watch);
        for (const std::wstring& path : watch.created)
            AddOnce(staged.createdFiles, path);
    }
    // The name Windows gave the copy (oemN.inf) is what the uninstall names to take it away.
    wchar_t copy[MAX_PATH] = {};
    wchar_t* name = nullptr;
    if (!SetupCopyOEMInfW(infPath, nullptr, SPOST_PATH, 0, copy, MAX_PATH, nullptr, &name) ||
        name == nullptr || *name == L'\0')
        return false;
    AddOnce(staged.infNames, name);
    return true;
}
