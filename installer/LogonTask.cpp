#include "LogonTask.h"

#include "common/ComApartment.h"
#include "common/ComRef.h"
#include "common/UniqueResource.h"

#include <oleauto.h>
#include <taskschd.h>

namespace {

struct BstrTraits {
    using Type = BSTR;
    static Type invalid() { return nullptr; }
    static bool isValid(Type text) { return text != nullptr; }
    static void close(Type text) { SysFreeString(text); }
};
using UniqueBstr = UniqueResource<BstrTraits>;

// The root folder of the local Task Scheduler; null where there is none (Windows 2000 and XP
// have only the older scheduler, whose class is not this one).
bool openRootFolder(ComRef<ITaskFolder>& folder) {
    ComRef<ITaskService> service;
    if (FAILED(CoCreateInstance(__uuidof(TaskScheduler), nullptr, CLSCTX_INPROC_SERVER,
                                __uuidof(ITaskService), reinterpret_cast<void**>(service.out()))))
        return false;
    VARIANT none;
    VariantInit(&none);
    if (FAILED(service->Connect(none, none, none, none)))
        return false;
    UniqueBstr root(SysAllocString(L"\\"));
    return root && SUCCEEDED(service->GetFolder(root.get(), folder.out())) && folder;
}

// The text as XML character data.
std::wstring escaped(const std::wstring& text) {
    std::wstring out;
    for (wchar_t c : text) {
        switch (c) {
        case L'&':
            out += L"&amp;";
            break;
        case L'<':
            out += L"&lt;";
            break;
        case L'>':
            out += L"&gt;";
            break;
        default:
            out += c;
        }
    }
    return out;
}

} // namespace

bool HasLogonTasks(WindowsVersionCode versionCode) {
    return versionCode >= 8;
}

std::wstring LogonTaskDefinition(const std::wstring& program) {
    // Every member of the Users group (S-1-5-32-545) as the Run value reaches every user; the
    // default limit of 72 hours, the battery rules and the lowered priority of tasks would end
    // or slow a panel that is meant to run for the whole log-on.
    return L"<?xml version=\"1.0\" encoding=\"UTF-16\"?>\r\n"
           L"<Task version=\"1.2\" "
           L"xmlns=\"http://schemas.microsoft.com/windows/2004/02/mit/task\">\r\n"
           L"  <RegistrationInfo>\r\n"
           L"    <Author>Calmora</Author>\r\n"
           L"    <Description>Starts the Quenvora-K9 USB Audio Control Panel at log-on."
           L"</Description>\r\n"
           L"  </RegistrationInfo>\r\n"
           L"  <Triggers>\r\n"
           L"    <LogonTrigger>\r\n"
           L"      <Enabled>true</Enabled>\r\n"
           L"    </LogonTrigger>\r\n"
           L"  </Triggers>\r\n"
           L"  <Principals>\r\n"
           L"    <Principal id=\"Users\">\r\n"
           L"      <GroupId>S-1-5-32-545</GroupId>\r\n"
           L"      <RunLevel>HighestAvailable</RunLevel>\r\n"
           L"    </Principal>\r\n"
           L"  </Principals>\r\n"
           L"  <Settings>\r\n"
           L"    <MultipleInstancesPolicy>IgnoreNew</MultipleInstancesPolicy>\r\n"
           L"    <DisallowStartIfOnBatteries>false</DisallowStartIfOnBatteries>\r\n"
           L"    <StopIfGoingOnBatteries>false</StopIfGoingOnBatteries>\r\n"
           L"    <ExecutionTimeLimit>PT0S</ExecutionTimeLimit>\r\n"
           L"    <Priority>5</Priority>\r\n"
           L"    <Enabled>true</Enabled>\r\n"
           L"  </Settings>\r\n"
           L"  <Actions Context=\"Users\">\r\n"
           L"    <Exec>\r\n"
           L"      <Command>" +
           escaped(program) +
           L"</Command>\r\n"
           L"    </Exec>\r\n"
           L"  </Actions>\r\n"
           L"</Task>\r\n";
}

bool RegisterLogonTask(const std::wstring& program) {
    ComApartment apartment;
    ComRef<ITaskFolder> folder;
    if (!openRootFolder(folder))
        return false;
    UniqueBstr name(SysAllocString(kLogonTaskName));
    UniqueBstr definition(SysAllocString(LogonTaskDefinition(program).c_str()));
    if (!name || !definition)
        return false;
    VARIANT none;
    VariantInit(&none);
    ComRef<IRegisteredTask> task;
    // No account given: the task runs as the group of its definition, for whoever logs on.
    return SUCCEEDED(folder->RegisterTask(name.get(), definition.get(), TASK_CREATE_OR_UPDATE, none,
                                          none, TASK_LOGON_GROUP, none, task.out()));
}

bool DeleteLogonTask() {
    ComApartment apartment;
    ComRef<ITaskFolder> folder;
    if (!openRootFolder(folder))
        return false;
    UniqueBstr name(SysAllocString(kLogonTaskName));
    if (!name)
        return false;
    const HRESULT result = folder->DeleteTask(name.get(), 0);
    return SUCCEEDED(result) || result == HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);
}
