#include "core/keys.h"

#include <cwchar>

#include "core/settings.h"

namespace {

// RegisterHotKey's ids for applications end here; the probe takes the last one.
constexpr int probeId = 0xBFFF;
struct KeyName {
    UINT vk;
    const wchar_t* name;
};
constexpr KeyName keyNames[] = {
    {VK_LEFT, L"LEFT"},
    {VK_RIGHT, L"RIGHT"},
    {VK_UP, L"UP"},
    {VK_DOWN, L"DOWN"},
    {VK_PRIOR, L"PAGE UP"},
    {VK_NEXT, L"PAGE DOWN"},
    {VK_HOME, L"HOME"},
    {VK_END, L"END"},
    {VK_INSERT, L"INSERT"},
    {VK_DELETE, L"DELETE"},
    {VK_BACK, L"BACKSPACE"},
    {VK_TAB, L"TAB"},
    {VK_RETURN, L"ENTER"},
    {VK_SPACE, L"SPACE"},
    {VK_ESCAPE, L"ESC"},
    {VK_PAUSE, L"PAUSE"},
    {VK_SNAPSHOT, L"PRINT SCREEN"},
    {VK_SCROLL, L"SCROLL LOCK"},
    {VK_CAPITAL, L"CAPS LOCK"},
    {VK_NUMLOCK, L"NUM LOCK"},
    {VK_MULTIPLY, L"NUM *"},
    {VK_ADD, L"NUM +"},
    {VK_SUBTRACT, L"NUM -"},
    {VK_DECIMAL, L"NUM ."},
    {VK_DIVIDE, L"NUM /"},
    {VK_APPS, L"MENU"},
};

std::wstring vkText(UINT vk) {
    if ((vk >= '0' && vk <= '9') || (vk >= 'A' && vk <= 'Z')) return std::wstring(1, wchar_t(vk));
    if (vk >= VK_F1 && vk <= VK_F24) return L"F" + std::to_wstring(vk - VK_F1 + 1);
    if (vk >= VK_NUMPAD0 && vk <= VK_NUMPAD9) return L"NUM " + std::to_wstring(vk - VK_NUMPAD0);
    for (const KeyName& key : keyNames)
        if (key.vk == vk) return key.name;
    // punctuation keys differ from layout to layout: the character this one types here
    if (const UINT typed = MapVirtualKeyW(vk, MAPVK_VK_TO_CHAR) & 0x7FFFFFFF; typed > L' ') {
        wchar_t character[2] = {wchar_t(typed), L'\0'};
        CharUpperW(character);
        return character;
    }
    wchar_t code[16];
    swprintf_s(code, L"KEY %02X", vk);
    return code;
}

} // namespace

std::wstring modifiersText(DWORD modifiers) {
    std::wstring text;
    if (modifiers & MOD_CONTROL) text += L"CTRL+";
    if (modifiers & MOD_ALT) text += L"ALT+";
    if (modifiers & MOD_SHIFT) text += L"SHIFT+";
    if (modifiers & MOD_WIN) text += L"WIN+";
    return text;
}

std::wstring keyText(DWORD key) {
    if (key == 0) return {};
    return modifiersText(HIWORD(key)) + vkText(LOWORD(key));
}

std::wstring placeKeysText(DWORD modifiers) {
    if (modifiers == 0) return {};
    return modifiersText(modifiers) + L"1-9";
}

bool leavesTyping(DWORD key) {
    const UINT vk = LOWORD(key), modifiers = HIWORD(key);
    if (key == 0 || MapVirtualKeyW(vk, MAPVK_VK_TO_CHAR) == 0) return true;
    const bool ctrl = (modifiers & MOD_CONTROL) != 0, alt = (modifiers & MOD_ALT) != 0;
    if (ctrl && alt) return false;
    return ctrl || alt || (modifiers & MOD_WIN) != 0;
}

std::vector<KeyBinding> keyBindings(DWORD nextKey, DWORD previousKey, DWORD lastKey,
                                    DWORD placeModifiers) {
    std::vector<KeyBinding> bindings;
    for (const KeyBinding& single :
         {KeyBinding{switchNext, nextKey}, KeyBinding{switchPrevious, previousKey},
          KeyBinding{switchLast, lastKey}})
        if (single.key) bindings.push_back(single);
    if (placeModifiers)
        for (int digit = 1; digit <= 9; ++digit)
            bindings.push_back({switchPlace1 + digit - 1, storedKey('0' + digit, placeModifiers)});
    return bindings;
}

int actionHolding(const std::vector<KeyBinding>& bindings, DWORD key, int action) {
    for (const KeyBinding& binding : bindings)
        if (binding.key == key && binding.action != action) return binding.action;
    return 0;
}

bool keyHeldElsewhere(HWND window, DWORD key) {
    if (key == 0) return false;
    if (!RegisterHotKey(window, probeId, HIWORD(key) | MOD_NOREPEAT, LOWORD(key))) return true;
    UnregisterHotKey(window, probeId);
    return false;
}
