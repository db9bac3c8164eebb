// Owners for the certificate functions' handles: an open store and a certificate context.
#pragma once

#include "common/UniqueResource.h"

#include <windows.h>
#include <wincrypt.h>

struct CertStoreTraits {
    using Type = HCERTSTORE;
    static Type invalid() { return nullptr; }
    static bool isValid(Type s) { return s != nullptr; }
    static void close(Type s) { CertCloseStore(s, 0); }
};

struct CertContextTraits {
    using Type = PCCERT_CONTEXT;
    static Type invalid() { return nullptr; }
    static bool isValid(Type c) { return c != nullptr; }
    static void close(Type c) { CertFreeCertificateContext(c); }
};

using UniqueCertStore = UniqueResource<CertStoreTraits>;
using UniqueCertContext = UniqueResource<CertContextTraits>;
