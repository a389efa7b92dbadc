#include "dialogs/keys_win.h"

#include <string>
#include <vector>

#include "core/keys.h"
#include "core/messages.h"
#include "core/settings.h"
#include "ui/draw.h"

namespace {

constexpr UINT labelFormat = DT_VCENTER | DT_SINGLELINE;
constexpr UINT fieldFormat = DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX | DT_END_ELLIPSIS;
constexpr COLORREF fieldTextColor = RGB(255, 255, 255);
constexpr int placeField = idPlaceKeys - idNextKey;
// the room a "TAKEN" or "IN USE" takes at the right end of a field, at 96 DPI
constexpr int tagWidth = 38;

constexpr const wchar_t* fieldLabels[keyFieldCount] = {L"NEXT CLIENT", L"PREVIOUS CLIENT",
                                                       L"LAST CLIENT", L"CLIENT BY PLACE"};

DWORD heldModifiers() {
    DWORD held = 0;
    if (GetKeyState(VK_CONTROL) < 0) held |= MOD_CONTROL;
    if (GetKeyState(VK_MENU) < 0) held |= MOD_ALT;
    if (GetKeyState(VK_SHIFT) < 0) held |= MOD_SHIFT;
    if (GetKeyState(VK_LWIN) < 0 || GetKeyState(VK_RWIN) < 0) held |= MOD_WIN;
    return held;
}

// The keys held are those of the top row; the keypad's have other codes.
bool isDigitKey(UINT vk) {
    return vk >= '1' && vk <= '9';
}

// A field's value in words: a key, or the place field's modifiers.
std::wstring valueText(int field, DWORD value) {
    return field == placeField ? placeKeysText(value) : keyText(value);
}

// The keys a field's value stands for: its own key, or the place field's nine.
std::vector<KeyBinding> keysOf(int field, DWORD value) {
    return field == placeField ? keyBindings(0, 0, 0, value) : keyBindings(value, 0, 0, 0);
}

// Whether another field has this value's key, or for the place field any of its nine.
bool keyInUse(const DWORD (&keys)[keyFieldCount], int field, DWORD value) {
    DWORD others[keyFieldCount];
    for (int i = 0; i < keyFieldCount; ++i)
        others[i] = i == field ? 0 : keys[i];
    const auto bindings = keyBindings(others[0], others[1], others[2], others[placeField]);
    for (const KeyBinding& mine : keysOf(field, value))
        if (actionHolding(bindings, mine.key, 0)) return true;
    return false;
}

} // namespace

CKeysWin::CKeysWin() : CPanelWin(keysWidth, keysHeight, 0) {}

CKeysWin::~CKeysWin() {
    if (IsWindow(hwnd)) DestroyWindow(hwnd);
}

HWND CKeysWin::Create(HWND openerWindow, HWND openedFromWindow) {
    openedFrom = openedFromWindow;
    const HWND created =
        createWindow(WS_EX_TOPMOST | WS_EX_TOOLWINDOW, WS_POPUP | WS_VISIBLE, 0, 0, width, height);
    if (!created) return nullptr;
    opener = openerWindow;
    // in front, so that the keys pressed into a field come here
    SetForegroundWindow(created);
    return created;
}

void CKeysWin::OnCreate() {
    switchKeys = settings.switchKeys;
    keys[0] = settings.nextClientKey;
    keys[1] = settings.previousClientKey;
    keys[2] = settings.lastClientKey;
    keys[placeField] = settings.placeKeys;
    waitingId = noControl;
    refused = 0;
    tail = false;
    for (int field = 0; field < keyFieldCount; ++field)
        taken[field] = HeldElsewhere(field);
    FollowScale(Scale::ofWindow(hwnd));
    CentreOnOpener();
    StartHoverTimer();
}

bool CKeysWin::HeldElsewhere(int field) const {
    // the program holds its own keys only while a client is in front, never while this
    // window or the configuration is, so a probe that fails finds another program's key
    for (const KeyBinding& mine : keysOf(field, keys[field]))
        if (keyHeldElsewhere(hwnd, mine.key)) return true;
    return false;
}

void CKeysWin::Draw(HDC dc, HBRUSH back, HBRUSH accent) {
    drawDialogFrame(dc, {width, height}, L"SWITCH KEYS", 8, back, accent, textFont.get(), scale);
    Brush shadowBrush(CreateSolidBrush(shadowColor)), textBrush(CreateSolidBrush(textColor));
    DrawCheckBox(dc, {10, 20, 252, 34}, L"SWITCH WITH KEYS", switchKeys, idSwitchKeys,
                 shadowBrush.get(), textBrush.get());
    for (int field = 0; field < keyFieldCount; ++field)
        DrawField(dc, field, accent, textBrush.get());

    DrawButton(dc, {212, 117, 252, 132}, L"CLOSE", idClose, accent);
    DrawButton(dc, {166, 117, 206, 132}, L"OK", idOk, accent);
}

void CKeysWin::DrawField(HDC dc, int field, HBRUSH accent, HBRUSH textBrush) {
    const RECT& field96 = keyFieldRects[field];
    DrawSmoothText(dc, fieldLabels[field], textColor, backColor, textFont.get(),
                   scale(RECT{10, field96.top, field96.left - 2, field96.bottom}), labelFormat,
                   true, nullptr, scale);
    const int id = idNextKey + field;
    const RECT rect = scale(field96);
    regions.SetClick(id, rect);
    FillRect(dc, &rect, accent);

    if (waitingId == id) frameLines(dc, rect, textBrush, scale.line(1));
    const Shown shown = FieldShows(field);
    const LONG tagLeft = field96.right - tagWidth;
    DrawSmoothText(dc, shown.text.c_str(), fieldTextColor, accentColor, textFont.get(),
                   scale(RECT{field96.left + 2, field96.top,
                              shown.tag ? tagLeft : field96.right - 2, field96.bottom}),
                   fieldFormat, true, nullptr, scale);
    DrawSmoothText(dc, shown.tag, textColor, accentColor, textFont.get(),
                   scale(RECT{tagLeft, field96.top, field96.right - 2, field96.bottom}),
                   fieldFormat | DT_RIGHT, true, nullptr, scale);
}

CKeysWin::Shown CKeysWin::FieldShows(int field) const {
    if (waitingId != idNextKey + field) {
        const std::wstring text = valueText(field, keys[field]);
        return {text.empty() ? L"NONE" : text, taken[field] ? L"TAKEN" : nullptr};
    }
    if (refused) return {valueText(field, refused), L"IN USE"};
    if (const DWORD held = heldModifiers()) return {modifiersText(held) + L"...", nullptr};
    return {L"PRESS KEYS", nullptr};
}

void CKeysWin::Act(int id) {
    // a click on another control ends the waiting; one on the waiting field keeps it
    if (id != waitingId) {
        waitingId = noControl;
        refused = 0;
    }
    switch (id) {
    case idSwitchKeys:
        switchKeys = switchKeys == 0 ? 1 : 0;
        break;
    case idOk:
        saveSwitchKeys(switchKeys, keys[0], keys[1], keys[2], keys[placeField]);
        PostMessageW(opener, UM_SETTINGSCHANGED, 0, 0);
        CloseSoon();
        return;
    case idClose:
        CloseSoon(); // the working copies go with the window
        return;
    default:
        if (id >= idNextKey && id <= idPlaceKeys) waitingId = id;
        break;
    }
    Redraw();
}

bool CKeysWin::OnKey(UINT msg, WPARAM vk, LPARAM lParam) {
    const bool down = msg == WM_KEYDOWN || msg == WM_SYSKEYDOWN;
    const bool repeat = down && (lParam & 0x40000000) != 0;
    const bool system =
        msg == WM_SYSKEYDOWN || msg == WM_SYSKEYUP || msg == WM_SYSCHAR || msg == WM_SYSDEADCHAR;
    if (waitingId == noControl) {
        if (!tail) return false;
        if (down && !repeat) {
            tail = false;
            return false;
        }
        // what is left of the combination just taken: with Alt held the system would look
        // for a menu to open and beep
        return system;
    }
    if (down && !(repeat && isModifierKey(static_cast<DWORD>(vk))))
        OnWaitingKeyDown(static_cast<UINT>(vk));
    else if (!down && !refused && isModifierKey(static_cast<DWORD>(vk)))
        Redraw(); // the modifiers still held
    // nothing reaches the system while a field waits: no menu, no beep
    return true;
}

void CKeysWin::OnWaitingKeyDown(UINT vk) {
    refused = 0;
    if (isModifierKey(vk)) {
        Redraw();
        return;
    }
    const DWORD held = heldModifiers();
    if (!held && vk == VK_ESCAPE) {
        StopWaiting();
        return;
    }
    if (!held && (vk == VK_BACK || vk == VK_DELETE)) {
        Take(0);
        return;
    }
    const int field = waitingId - idNextKey;
    DWORD value = 0;
    if (field == placeField) {
        // the field holds the modifiers only
        if (isDigitKey(vk) && leavesTyping(storedKey(vk, held))) value = held;
    } else {
        value = cleanKey(storedKey(vk, held));
        if (!leavesTyping(value)) value = 0; // the field waits on for another
    }
    if (value != 0 && !keyInUse(keys, field, value)) {
        Take(value);
        return;
    }
    refused = value; // 0 for a key the field does not take: it waits on
    Redraw();
}

void CKeysWin::Take(DWORD value) {
    const int field = waitingId - idNextKey;
    keys[field] = value;
    taken[field] = HeldElsewhere(field);
    tail = true;
    StopWaiting();
}

void CKeysWin::StopWaiting() {
    waitingId = noControl;
    refused = 0;
    Redraw();
}

LRESULT CKeysWin::handle(HWND window, UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
    case WM_CREATE:
        OnCreate();
        return 0;
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN:
    case WM_KEYUP:
    case WM_SYSKEYUP:
    case WM_CHAR:
    case WM_SYSCHAR:
    case WM_SYSDEADCHAR:
        if (OnKey(msg, wParam, lParam)) return 0;
        break;
    case WM_KILLFOCUS:
        // the keys go elsewhere now
        if (waitingId != noControl) StopWaiting();
        break;
    default: {
        LRESULT result = 0;
        if (HandleShared(msg, wParam, lParam, result)) return result;
        break;
    }
    }
    return DefWindowProcW(window, msg, wParam, lParam);
}
