// On Windows Vista and later the control panel also starts from a task at log-on: Windows does
// not start a program that asks for elevation from the Run value there. The task runs it with
// the user's highest privileges; a second start beside the Run value's only brings the running
// panel forward.
#pragma once

#include "common/WindowsVersion.h"

#include <string>

// The task's name in the Task Scheduler's root folder.
constexpr wchar_t kLogonTaskName[] = L"CalmoraQvK9audioCPL";

// Windows with the Task Scheduler that starts elevated programs at log-on (NT 6 and later).
bool HasLogonTasks(WindowsVersionCode versionCode);
// The task's definition in the Task Scheduler's XML form: at every user's log-on, `program`,
// with the highest privileges that user has, for as long as it runs, on battery too.
std::wstring LogonTaskDefinition(const std::wstring& program);
// Creates or replaces the task; false when the Task Scheduler did not take it.
bool RegisterLogonTask(const std::wstring& program);
// True when the task is gone, also when there was none.
bool DeleteLogonTask();
