// The shared memory the driver and the elevated control panel meet in carries a descriptor of
// its own: the creating user (at any elevation) and the system, nobody else, and on systems with
// integrity levels a medium label so that a host at medium integrity may write what an elevated
// panel made. Read back from the object itself.
#include "common/NamedMapping.h"
#include "common/SharedBlockAccess.h"
#include "common/UniqueResource.h"

#include <aclapi.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::vector<BYTE> tokenUser() {
    HANDLE raw = nullptr;
    EXPECT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &raw));
    UniqueHandle token(raw);
    DWORD bytes = 0;
    GetTokenInformation(token.get(), TokenUser, nullptr, 0, &bytes);
    std::vector<BYTE> user(bytes);
    EXPECT_TRUE(GetTokenInformation(token.get(), TokenUser, user.data(), bytes, &bytes));
    return user;
}

UniqueSid wellKnown(SID_IDENTIFIER_AUTHORITY authority, BYTE count, DWORD first, DWORD second = 0) {
    PSID sid = nullptr;
    AllocateAndInitializeSid(&authority, count, first, second, 0, 0, 0, 0, 0, 0, &sid);
    return UniqueSid(sid);
}

struct ReadBack {
    UniqueLocal descriptor;
    PACL acl = nullptr;
};

ReadBack readDacl(HANDLE object) {
    ReadBack r;
    PSECURITY_DESCRIPTOR sd = nullptr;
    EXPECT_EQ(GetSecurityInfo(object, SE_KERNEL_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr,
                              &r.acl, nullptr, &sd),
              static_cast<DWORD>(ERROR_SUCCESS));
    r.descriptor.reset(sd);
    return r;
}

bool systemHasIntegrityLevels() {
    return GetProcAddress(GetModuleHandleA("advapi32.dll"), "AddMandatoryAce") != nullptr;
}

// Checks the descriptor of a mapping this process created.
void expectSameUserOnly(HANDLE mapping) {
    const std::vector<BYTE> user = tokenUser();
    PSID userSid = reinterpret_cast<const TOKEN_USER*>(user.data())->User.Sid;
    SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
    const UniqueSid system = wellKnown(nt, 1, SECURITY_LOCAL_SYSTEM_RID);

    ReadBack dacl = readDacl(mapping);
    ASSERT_NE(dacl.acl, nullptr) << "a null DACL would let everyone in";
    ASSERT_EQ(dacl.acl->AceCount, 2) << "the user and the system, nobody else";
    bool userSeen = false, systemSeen = false;
    for (WORD i = 0; i < dacl.acl->AceCount; ++i) {
        void* raw = nullptr;
        ASSERT_TRUE(GetAce(dacl.acl, i, &raw));
        auto* ace = static_cast<ACCESS_ALLOWED_ACE*>(raw);
        ASSERT_EQ(ace->Header.AceType, ACCESS_ALLOWED_ACE_TYPE);
        PSID sid = &ace->SidStart;
        EXPECT_EQ(ace->Mask & FILE_MAP_ALL_ACCESS, static_cast<DWORD>(FILE_MAP_ALL_ACCESS));
        userSeen = userSeen || EqualSid(sid, userSid);
        systemSeen = systemSeen || EqualSid(sid, system.get());
    }
    EXPECT_TRUE(userSeen);
    EXPECT_TRUE(systemSeen);

    if (!systemHasIntegrityLevels())
        return; // Windows 2000 and XP: no labels
    PACL sacl = nullptr;
    PSECURITY_DESCRIPTOR sd = nullptr;
    ASSERT_EQ(GetSecurityInfo(mapping, SE_KERNEL_OBJECT, LABEL_SECURITY_INFORMATION, nullptr,
                              nullptr, nullptr, &sacl, &sd),
              static_cast<DWORD>(ERROR_SUCCESS));
    UniqueLocal owner(sd);
    ASSERT_NE(sacl, nullptr) << "no integrity label";
    SID_IDENTIFIER_AUTHORITY labels = SECURITY_MANDATORY_LABEL_AUTHORITY;
    const UniqueSid medium = wellKnown(labels, 1, SECURITY_MANDATORY_MEDIUM_RID);
    bool labelSeen = false;
    for (WORD i = 0; i < sacl->AceCount; ++i) {
        void* raw = nullptr;
        ASSERT_TRUE(GetAce(sacl, i, &raw));
        auto* ace = static_cast<SYSTEM_MANDATORY_LABEL_ACE*>(raw);
        if (ace->Header.AceType != SYSTEM_MANDATORY_LABEL_ACE_TYPE)
            continue;
        labelSeen = true;
        EXPECT_TRUE(EqualSid(&ace->SidStart, medium.get())) << "a medium label";
        EXPECT_EQ(ace->Mask, static_cast<DWORD>(SYSTEM_MANDATORY_LABEL_NO_WRITE_UP));
    }
    EXPECT_TRUE(labelSeen);
}

} // namespace

TEST(SameUserSecurity, ACreatedMappingAdmitsTheUserAndTheSystemOnly) {
    const std::string name = "QvK9Test Security " + std::to_string(GetCurrentProcessId());
    NamedMapping m = OpenOrCreateMapping(name.c_str(), 4096);
    ASSERT_TRUE(m.mapped());
    ASSERT_TRUE(m.created);
    expectSameUserOnly(m.mapping.get());

    // The user's own token is granted what the driver and the panel ask for.
    PSECURITY_DESCRIPTOR full = nullptr;
    ASSERT_EQ(GetSecurityInfo(m.mapping.get(), SE_KERNEL_OBJECT,
                              OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION |
                                  DACL_SECURITY_INFORMATION,
                              nullptr, nullptr, nullptr, nullptr, &full),
              static_cast<DWORD>(ERROR_SUCCESS));
    UniqueLocal fullOwner(full);
    HANDLE process = nullptr, impersonation = nullptr;
    ASSERT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_DUPLICATE | TOKEN_QUERY, &process));
    UniqueHandle processToken(process);
    ASSERT_TRUE(DuplicateToken(processToken.get(), SecurityImpersonation, &impersonation));
    UniqueHandle token(impersonation);
    GENERIC_MAPPING mapping = {FILE_MAP_READ, FILE_MAP_WRITE, FILE_MAP_EXECUTE,
                               FILE_MAP_ALL_ACCESS};
    PRIVILEGE_SET privileges = {};
    DWORD privilegeBytes = sizeof(privileges);
    DWORD granted = 0;
    BOOL allowed = FALSE;
    ASSERT_TRUE(AccessCheck(full, token.get(), FILE_MAP_WRITE | FILE_MAP_READ, &mapping,
                            &privileges, &privilegeBytes, &granted, &allowed));
    EXPECT_TRUE(allowed);

    // Whoever opens it later takes it as it is.
    NamedMapping second = OpenOrCreateMapping(name.c_str(), 4096);
    ASSERT_TRUE(second.mapped());
    EXPECT_FALSE(second.created);
}

TEST(SameUserSecurity, TheSharedBlockCarriesIt) {
    SharedBlockAccess block;
    ASSERT_TRUE(block.open());
    if (!block.created())
        GTEST_SKIP() << "another process made the block; its descriptor is its own";
    HANDLE handle = OpenFileMappingA(READ_CONTROL, FALSE, kAsioSharedBlockName);
    ASSERT_NE(handle, nullptr);
    UniqueHandle mapping(handle);
    expectSameUserOnly(mapping.get());
}
