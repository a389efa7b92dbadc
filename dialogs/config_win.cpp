#include "dialogs/config_win.h"

#include "core/globals.h"
#include "core/messages.h"
#include "core/settings.h"
#include "dialogs/keys_win.h"
#include "ui/draw.h"

namespace {

constexpr UINT labelFormat = DT_VCENTER | DT_SINGLELINE;
constexpr COLORREF editTextColor = RGB(255, 255, 255);

DWORD flipped(DWORD flag) {
    return flag == 0 ? 1 : 0;
}

} // namespace

CConfigWin::CConfigWin()
    : CPanelWin(configWidth, configHeight, 0), editBrush(CreateSolidBrush(accentColor)),
      editFont(createUiFont(scale(editFontHeight), FW_DONTCARE)) {}

CConfigWin::~CConfigWin() {
    if (IsWindow(editField)) DestroyWindow(editField);
    if (IsWindow(hwnd)) DestroyWindow(hwnd);
}

HWND CConfigWin::Create(HWND openerWindow) {
    openedFrom = openerWindow;
    const HWND created = createWindow(WS_EX_TOPMOST | WS_EX_TOOLWINDOW,
                                      WS_POPUP | WS_VISIBLE | WS_CLIPCHILDREN, 0, 0, width, height);
    if (!created) return nullptr;
    opener = openerWindow;
    SetForegroundWindow(created);
    return created;
}

void CConfigWin::OnCreate() {
    loadAtStartup = settings.loadAtStartup;
    showSwitcher = settings.showSwitcher;
    keepSwitcherOpen = settings.keepSwitcherOpen;
    switcherOpensClients = settings.switcherOpensClients;
    fitNewClients = settings.fitNewClients;
    FollowScale(Scale::ofWindow(hwnd));
    editField =
        CreateWindowExW(0, L"EDIT", nullptr, WS_CHILD | WS_VISIBLE | ES_UPPERCASE | ES_AUTOHSCROLL,
                        editRect.left, editRect.top, editRect.right - editRect.left,
                        editRect.bottom - editRect.top, hwnd, nullptr, hInstance, nullptr);
    if (IsWindow(editField)) {
        SendMessageW(editField, WM_SETFONT, reinterpret_cast<WPARAM>(editFont.get()), TRUE);
        SendMessageW(editField, WM_SETTEXT, 0,
                     reinterpret_cast<LPARAM>(settings.clientPath.c_str()));
        SetFocus(editField);
    }
    CentreOnOpener();
    StartHoverTimer();
}

void CConfigWin::ScaleChanged() {
    editFont = createUiFont(scale(editFontHeight), FW_DONTCARE);
    if (!IsWindow(editField)) return;
    SendMessageW(editField, WM_SETFONT, reinterpret_cast<WPARAM>(editFont.get()), TRUE);
    SetWindowPos(editField, nullptr, editRect.left, editRect.top, editRect.right - editRect.left,
                 editRect.bottom - editRect.top, SWP_NOZORDER | SWP_NOACTIVATE);
}

void CConfigWin::Draw(HDC dc, HBRUSH back, HBRUSH accent) {
    drawDialogFrame(dc, {width, height}, L"CONFIGURATION", 8, back, accent, textFont.get(), scale);
    const struct {
        RECT row;
        const wchar_t* text;
        DWORD flag;
        int id;
    } boxes[] = {
        {{10, 20, 207, 34}, L"LOAD AT WINDOWS STARTUP", loadAtStartup, idLoadAtStartup},
        {{10, 35, 207, 49}, L"SHOW SWITCHER", showSwitcher, idShowSwitcher},
        {{10, 50, 207, 64}, L"KEEP SWITCHER OPEN", keepSwitcherOpen, idKeepSwitcherOpen},
        {{10, 65, 207, 79},
         L"USE SWITCHER TO OPEN CLIENTS",
         switcherOpensClients,
         idSwitcherOpensClients},
        {{10, 80, 207, 94}, L"FIT NEW CLIENTS", fitNewClients, idFitNewClients},
    };
    Brush shadowBrush(CreateSolidBrush(shadowColor)), textBrush(CreateSolidBrush(textColor));
    for (const auto& box : boxes)
        DrawCheckBox(dc, box.row, box.text, box.flag, box.id, shadowBrush.get(), textBrush.get());
    DrawSmoothText(dc, L"QOR ONLINE PATH", textColor, backColor, textFont.get(),
                   scale(RECT{10, 95, 207, 109}), labelFormat, true, nullptr, scale);
    editRect = scale(RECT{10, 110, 207, 125});

    DrawButton(dc, {167, 132, 207, 147}, L"CLOSE", idClose, accent);
    DrawButton(dc, {121, 132, 161, 147}, L"OK", idOk, accent);
    DrawButton(dc, {10, 132, 50, 147}, L"KEYS", idKeys, accent);
}

void CConfigWin::Act(int id) {
    switch (id) {
    case idLoadAtStartup:
        loadAtStartup = flipped(loadAtStartup);
        break;
    case idShowSwitcher:
        showSwitcher = flipped(showSwitcher);
        break;
    case idKeepSwitcherOpen:
        keepSwitcherOpen = flipped(keepSwitcherOpen);
        break;
    case idSwitcherOpensClients:
        switcherOpensClients = flipped(switcherOpensClients);
        break;
    case idFitNewClients:
        fitNewClients = flipped(fitNewClients);
        break;
    case idOk:
        saveSettings(showSwitcher, keepSwitcherOpen, switcherOpensClients, loadAtStartup,
                     fitNewClients, editField);
        PostMessageW(opener, UM_SETTINGSCHANGED, 0, 0);
        CloseSoon();
        return;
    case idClose:
        CloseSoon(); // the working copies and the typed path go with the window
        return;
    case idKeys:
        // its OK reports where this window's would; an open one, perhaps under this window,
        // comes to the front as it is
        if (!keysWindow) return;
        if (IsWindow(keysWindow->hwnd))
            SetForegroundWindow(keysWindow->hwnd);
        else
            keysWindow->Create(opener, hwnd);
        return;
    default:
        return;
    }
    Redraw();
}

LRESULT CConfigWin::handle(HWND window, UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
    case WM_CREATE:
        OnCreate();
        return 0;
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORSTATIC: {
        const HDC dc = reinterpret_cast<HDC>(wParam);
        SetBkMode(dc, OPAQUE);
        SetBkColor(dc, accentColor);
        SetTextColor(dc, editTextColor);
        return reinterpret_cast<LRESULT>(editBrush.get());
    }
    default: {
        LRESULT result = 0;
        if (HandleShared(msg, wParam, lParam, result)) return result;
        return DefWindowProcW(window, msg, wParam, lParam);
    }
    }
}
