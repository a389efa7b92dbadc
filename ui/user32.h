// Functions of newer user32 versions, looked up at run time so the program still runs where
// they are absent: null there.
#pragma once
#include <windows.h>

template <class Fn> Fn user32Function(const char* name) {
    // through void(*)() so the cast between function types is explicit
    return reinterpret_cast<Fn>(
        reinterpret_cast<void (*)()>(GetProcAddress(GetModuleHandleW(L"user32.dll"), name)));
}
