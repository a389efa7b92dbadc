#include "clients/switch_keys.h"

#include <algorithm>
#include <iterator>

#include "app/settings.h"
#include "clients/game_client.h"

namespace {

// RegisterHotKey's ids for applications end here; the probe takes the last one.
constexpr int probeId = 0xBFFF;
// The periodic look at the foreground: the strip's own period while nothing tells of a change;
// once the hook does, a slow look for one it missed (an out-of-context event can be lost, or
// come late and out of order), so the keys are never held long for the wrong program.
constexpr UINT lookPeriod = 90;
constexpr UINT slowLookPeriod = 1000;

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

bool isClientWindow(HWND window) {
    wchar_t className[classNameBufferSize];
    return window && GetClassNameW(window, className, classNameBufferSize) &&
           isClientClass(className);
}

struct QuietScan {
    ClientSlot slots[maxClients];
    int count = 0;
};

BOOL CALLBACK listQuietly(HWND window, LPARAM param) {
    auto& scan = *reinterpret_cast<QuietScan*>(param);
    if (!isClientWindow(window)) return TRUE;
    wchar_t title[clientTitleUnits] = {};
    const int length = InternalGetWindowText(window, title, clientTitleUnits);
    ClientSlot& slot = scan.slots[scan.count++];
    slot.window = window;
    nameFromTitle(title, length, slot.name);
    return scan.count < maxClients;
}

// The one set of keys whose foreground hook is in place: the hook's callback has no context.
SwitchKeys* hookedKeys = nullptr;

void CALLBACK onForegroundEvent(HWINEVENTHOOK, DWORD, HWND, LONG, LONG, DWORD, DWORD) {
    if (hookedKeys) hookedKeys->OnForegroundEvent();
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

HWND switchTarget(const std::vector<HWND>& clients, HWND front, HWND previous, int action) {
    if (clients.empty()) return nullptr;
    const auto count = static_cast<ptrdiff_t>(clients.size());
    const auto at = std::find(clients.begin(), clients.end(), front);
    const ptrdiff_t index = at - clients.begin();
    HWND target = nullptr;
    switch (action) {
    case switchNext:
        target = at == clients.end() ? clients.front() : clients[size_t((index + 1) % count)];
        break;
    case switchPrevious:
        target =
            at == clients.end() ? clients.back() : clients[size_t((index + count - 1) % count)];
        break;
    case switchLast:
        if (std::find(clients.begin(), clients.end(), previous) != clients.end()) target = previous;
        break;
    default:
        if (const int place = action - switchPlace1; place >= 0 && place < count && place < 9)
            target = clients[size_t(place)];
        break;
    }
    return target == front ? nullptr : target;
}

std::vector<HWND> quietClientOrder() {
    QuietScan scan;
    EnumWindows(listQuietly, reinterpret_cast<LPARAM>(&scan));
    // the walk goes front to back, which each switch changes: clients with the bare title are
    // numbered in handle order instead, so their order stays put
    std::sort(
        std::begin(scan.slots), std::begin(scan.slots) + scan.count,
        [](const ClientSlot& a, const ClientSlot& b) { return HandleLess()(a.window, b.window); });
    // named and ordered as the strip names and orders them
    ClientRecords records;
    int counter = 0;
    mergeSlots(scan.slots, records, counter, [](const CWString&) { return 0; });
    ClientOrder order;
    rebuildOrder(records, order);
    std::vector<HWND> clients;
    for (const auto& entry : order)
        clients.push_back(entry.second);
    return clients;
}

bool keyHeldElsewhere(HWND window, DWORD key) {
    if (key == 0) return false;
    if (!RegisterHotKey(window, probeId, HIWORD(key) | MOD_NOREPEAT, LOWORD(key))) return true;
    UnregisterHotKey(window, probeId);
    return false;
}

SwitchKeys::~SwitchKeys() {
    Detach();
}

void SwitchKeys::Detach() {
    Release();
    Unhook();
    if (window) KillTimer(window, lookTimer);
    window = nullptr;
}

void SwitchKeys::LookBySelf(bool stripLooks) {
    ownLook = !stripLooks;
    UpdateLookTimer();
}

void SwitchKeys::UpdateLookTimer() {
    if (!window) return;
    if (On() && hookDelivers)
        SetTimer(window, lookTimer, slowLookPeriod, nullptr);
    else if (ownLook && NeedsLooking())
        SetTimer(window, lookTimer, lookPeriod, nullptr);
    else
        KillTimer(window, lookTimer);
}

void SwitchKeys::OnForegroundEvent() {
    // the event is late or out of order now and then: the foreground itself is asked
    if (!hookDelivers) {
        hookDelivers = true;
        UpdateLookTimer(); // Windows tells of changes from now on: the look slows down
    }
    Follow(GetForegroundWindow());
}

void SwitchKeys::Unhook() {
    if (hook) UnhookWinEvent(hook);
    hook = nullptr;
    hookDelivers = false;
    if (hookedKeys == this) hookedKeys = nullptr;
}

void SwitchKeys::Attach(HWND owner, Activations* ownerActivations) {
    window = owner;
    activations = ownerActivations;
    Apply();
}

bool SwitchKeys::On() const {
    return window && settings.switchKeys != 0;
}

void SwitchKeys::Apply() {
    Release();
    lastFront = nullptr; // the window in front is looked at anew
    if (!On()) {
        Unhook();
        UpdateLookTimer();
        return;
    }
    // Windows tells of a new foreground at once; where it never does (Wine), the owner's
    // periodic look at the foreground is what follows it
    if (!hook) {
        hook = SetWinEventHook(EVENT_SYSTEM_FOREGROUND, EVENT_SYSTEM_FOREGROUND, nullptr,
                               onForegroundEvent, 0, 0, WINEVENT_OUTOFCONTEXT);
        if (hook) hookedKeys = this;
    }
    UpdateLookTimer();
    Follow(GetForegroundWindow());
}

void SwitchKeys::Follow(HWND front) {
    if (!On()) {
        Release();
        return;
    }
    if (!front || front == lastFront) return;
    lastFront = front;
    const bool client = isClientWindow(front);
    if (client && front != frontClient) {
        previousClient = frontClient;
        frontClient = front;
    }
    // a key another program holds is tried again when a client next comes to the front
    if (client && held.empty())
        Hold();
    else if (!client)
        Release();
}

void SwitchKeys::Hold() {
    const auto bindings = keyBindings(settings.nextClientKey, settings.previousClientKey,
                                      settings.lastClientKey, settings.placeKeys);
    // a key another program holds is left to it; the others still work
    for (const KeyBinding& binding : bindings) {
        if (RegisterHotKey(window, binding.action, HIWORD(binding.key) | MOD_NOREPEAT,
                           LOWORD(binding.key)))
            held.push_back(binding.action);
    }
}

void SwitchKeys::Release() {
    for (int action : held)
        UnregisterHotKey(window, action);
    held.clear();
}

void SwitchKeys::OnHotKey(int action, const std::vector<HWND>& shown) {
    // a key already on its way when the keys were let go
    if (!On() || !activations) return;
    const HWND front = GetForegroundWindow();
    // A key switches only from a client: with anything else in front (a change not yet
    // followed) it was meant for that program, which gets the keys from now on.
    if (front && !isClientWindow(front)) {
        Follow(front);
        Release(); // also when this front was followed before the keys were held again
        return;
    }
    // While the last switch is on its way, its client counts as in front: a second key
    // pressed meanwhile goes on from there, not from the one it is leaving.
    const bool landing = frontClient && activations->Running(frontClient);
    if (!landing) Follow(front);
    const HWND from = landing || !isClientWindow(front) ? frontClient : front;
    const HWND target =
        switchTarget(shown.empty() ? quietClientOrder() : shown, from, previousClient, action);
    if (!target) return;
    activations->Start(target);
    previousClient = from;
    frontClient = target;
}
