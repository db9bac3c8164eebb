#include "SameUserSecurity.h"

namespace {

// Integrity labels came with Windows 6.0; on earlier systems the call is not there at all.
using AddMandatoryAceFn = BOOL(WINAPI*)(PACL, DWORD, DWORD, DWORD, PSID);

AddMandatoryAceFn findAddMandatoryAce() {
    HMODULE advapi = GetModuleHandleA("advapi32.dll");
    if (advapi == nullptr)
        return nullptr;
    return reinterpret_cast<AddMandatoryAceFn>(
        reinterpret_cast<void*>(GetProcAddress(advapi, "AddMandatoryAce")));
}

DWORD aceBytes(PSID sid) {
    return sizeof(ACCESS_ALLOWED_ACE) - sizeof(DWORD) + GetLengthSid(sid);
}

} // namespace

SameUserSecurity::SameUserSecurity(DWORD access) {
    built_ = build(access);
    if (built_)
        addMediumLabel();
}

bool SameUserSecurity::build(DWORD access) {
    HANDLE raw = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &raw))
        return false;
    UniqueHandle token(raw);
    DWORD bytes = 0;
    GetTokenInformation(token.get(), TokenUser, nullptr, 0, &bytes);
    if (bytes < sizeof(TOKEN_USER))
        return false;
    tokenUser_.assign(bytes, 0);
    if (!GetTokenInformation(token.get(), TokenUser, tokenUser_.data(), bytes, &bytes))
        return false;
    PSID user = reinterpret_cast<TOKEN_USER*>(tokenUser_.data())->User.Sid;

    SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
    PSID system = nullptr;
    if (!AllocateAndInitializeSid(&nt, 1, SECURITY_LOCAL_SYSTEM_RID, 0, 0, 0, 0, 0, 0, 0, &system))
        return false;
    system_.reset(system);

    // Only these two: no one else, and not the administrators as such (an elevated panel is the
    // user's own token, and is admitted as the user).
    dacl_.assign(sizeof(ACL) + aceBytes(user) + aceBytes(system), 0);
    auto* dacl = reinterpret_cast<PACL>(dacl_.data());
    if (!InitializeAcl(dacl, static_cast<DWORD>(dacl_.size()), ACL_REVISION) ||
        !AddAccessAllowedAce(dacl, ACL_REVISION, access, user) ||
        !AddAccessAllowedAce(dacl, ACL_REVISION, access, system) ||
        !InitializeSecurityDescriptor(&descriptor_, SECURITY_DESCRIPTOR_REVISION) ||
        !SetSecurityDescriptorDacl(&descriptor_, TRUE, dacl, FALSE))
        return false;
    attributes_ = {sizeof(SECURITY_ATTRIBUTES), &descriptor_, FALSE};
    return true;
}

// An object made by an elevated process is labelled high integrity unless it says otherwise,
// and a host at medium integrity could not write it. Medium, not low: a sandboxed process of
// the same user has no business in what an elevated panel reads.
void SameUserSecurity::addMediumLabel() {
    const AddMandatoryAceFn addMandatoryAce = findAddMandatoryAce();
    if (addMandatoryAce == nullptr)
        return;
    SID_IDENTIFIER_AUTHORITY labels = SECURITY_MANDATORY_LABEL_AUTHORITY;
    PSID medium = nullptr;
    if (!AllocateAndInitializeSid(&labels, 1, SECURITY_MANDATORY_MEDIUM_RID, 0, 0, 0, 0, 0, 0, 0,
                                  &medium))
        return;
    medium_.reset(medium);
    sacl_.assign(
        sizeof(ACL) + sizeof(SYSTEM_MANDATORY_LABEL_ACE) - sizeof(DWORD) + GetLengthSid(medium), 0);
    auto* sacl = reinterpret_cast<PACL>(sacl_.data());
    if (InitializeAcl(sacl, static_cast<DWORD>(sacl_.size()), ACL_REVISION) &&
        addMandatoryAce(sacl, ACL_REVISION, 0, SYSTEM_MANDATORY_LABEL_NO_WRITE_UP, medium) &&
        SetSecurityDescriptorSacl(&descriptor_, TRUE, sacl, FALSE))
        labelled_ = true;
}
