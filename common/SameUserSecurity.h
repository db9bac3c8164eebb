// Security for the named objects the driver and the control panel share. The panel runs
// elevated and hosts do not: an object either of them creates with the system's default
// security may be closed to the other (an elevated token's default admits only the
// administrators and the system). These attributes admit the creating user at any elevation and
// the system, and nobody else.
#pragma once

#include "UniqueResource.h"

#include <vector>

class SameUserSecurity {
public:
    // `access`: the rights the user and the system get on the object.
    explicit SameUserSecurity(DWORD access);
    SameUserSecurity(const SameUserSecurity&) = delete;
    SameUserSecurity& operator=(const SameUserSecurity&) = delete;

    // Null when the descriptor could not be built: the system's default applies then.
    SECURITY_ATTRIBUTES* attributes() { return built_ ? &attributes_ : nullptr; }
    // The descriptor carries a medium integrity label (systems with integrity levels only).
    bool labelled() const { return labelled_; }

private:
    bool build(DWORD access);
    void addMediumLabel();

    std::vector<BYTE> tokenUser_; // TOKEN_USER of the process: the user's SID
    UniqueSid system_;
    UniqueSid medium_;
    std::vector<BYTE> dacl_;
    std::vector<BYTE> sacl_;
    SECURITY_DESCRIPTOR descriptor_ = {};
    SECURITY_ATTRIBUTES attributes_ = {};
    bool built_ = false;
    bool labelled_ = false;
};
