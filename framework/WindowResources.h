// Owners for the user-interface handles the windows take: GDI objects, menus, loaded modules.
#pragma once

#include "common/UniqueResource.h"

struct GdiObjectTraits {
    using Type = HGDIOBJ;
    static Type invalid() { return nullptr; }
    static bool isValid(Type h) { return h != nullptr; }
    static void close(Type h) { DeleteObject(h); }
};

struct MenuTraits {
    using Type = HMENU;
    static Type invalid() { return nullptr; }
    static bool isValid(Type h) { return h != nullptr; }
    static void close(Type h) { DestroyMenu(h); }
};

struct ModuleTraits {
    using Type = HMODULE;
    static Type invalid() { return nullptr; }
    static bool isValid(Type h) { return h != nullptr; }
    static void close(Type h) { FreeLibrary(h); }
};

using UniqueGdiObject = UniqueResource<GdiObjectTraits>;
using UniqueMenu = UniqueResource<MenuTraits>;
using UniqueModule = UniqueResource<ModuleTraits>;
