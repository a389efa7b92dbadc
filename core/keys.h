// The switching keys in words, and the rules for which keys may switch: the keys window and the
// keys themselves both follow them.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

// The actions, which are also the ids the keys are held under.
enum SwitchAction : int {
    switchNext = 1,
    switchPrevious = 2,
    switchLast = 3,
    switchPlace1 = 4, // to switchPlace1 + 8, the digits 1 to 9
};
inline constexpr int switchActionCount = switchPlace1 + 9 - 1;

// RegisterHotKey's modifiers in words, each followed by "+": "CTRL+SHIFT+"; empty for none.
std::wstring modifiersText(DWORD modifiers);
// A key as stored (cleaned), in words: "CTRL+SHIFT+RIGHT"; empty for no key.
std::wstring keyText(DWORD key);
// The place keys' modifiers in words: "CTRL+SHIFT+1-9"; empty for none.
std::wstring placeKeysText(DWORD modifiers);

// Whether a key leaves typing alone, so that it can be offered for switching: a key that types
// a character here needs Ctrl, Alt or Win with it, and not Ctrl with Alt, which is AltGr on
// many layouts and types characters of its own.
bool leavesTyping(DWORD key);

struct KeyBinding {
    int action;
    DWORD key; // as stored
};
// Every key asked for, in action order; actions without a key are left out.
std::vector<KeyBinding> keyBindings(DWORD nextKey, DWORD previousKey, DWORD lastKey,
                                    DWORD placeModifiers);
// The first binding other than `action`'s that has this key, or 0.
int actionHolding(const std::vector<KeyBinding>& bindings, DWORD key, int action);

// Whether another program holds this key: tried on `window` and let go at once.
bool keyHeldElsewhere(HWND window, DWORD key);
