// Stand-in for a game client: one top-level window that tests can drive and observe.
#include "qor_protocol.h"

#include <shellapi.h>

#include <cstdio>
#include <cstring>
#include <cwchar>
#include <map>
#include <string>
#include <utility>

namespace {

std::wstring title = L"QOR"; // raw UTF-16: may hold NULs and unpaired surrogates
HANDLE logFile = INVALID_HANDLE_VALUE;
HFONT font = nullptr;
int exitCode = 0;
LRESULT titleQueries = 0;
bool refuseStyles = false;
int wideFrame = 0; // extra frame pixels on each side while it has a caption
std::map<WPARAM, LRESULT> titleQueriesBySize; // WM_GETTEXT only

template <class... Args> void logLine(const char* format, Args... args) {
    if (logFile == INVALID_HANDLE_VALUE) return;
    char line[1024];
    int n = 0;
    if constexpr (sizeof...(Args) == 0)
        n = std::snprintf(line, sizeof line, "%s", format);
    else
        n = std::snprintf(line, sizeof line, format, args...);
    if (n < 0) return;
    if (n > int(sizeof line) - 2) n = int(sizeof line) - 2;
    line[n++] = '\n';
    DWORD written = 0;
    WriteFile(logFile, line, DWORD(n), &written, nullptr);
}

// The caption is a C string, so it shows the title only up to its first NUL.
void showCaption(HWND hwnd) {
    DefWindowProcW(hwnd, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(title.c_str()));
    InvalidateRect(hwnd, nullptr, FALSE);
    logLine("title %zu", title.size());
}

void paint(HWND hwnd) {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(hwnd, &ps);
    RECT rc;
    GetClientRect(hwnd, &rc);
    SetDCBrushColor(dc, qorFillColor);
    FillRect(dc, &rc, static_cast<HBRUSH>(GetStockObject(DC_BRUSH)));
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, qorTextColor);
    HGDIOBJ oldFont = SelectObject(dc, font ? font : GetStockObject(DEFAULT_GUI_FONT));
    TEXTMETRICW tm;
    GetTextMetricsW(dc, &tm);
    const LONG mid = rc.bottom / 2;
    const UINT flags = DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX;
    RECT upper{0, mid - tm.tmHeight, rc.right, mid};
    DrawTextW(dc, title.c_str(), int(std::wcslen(title.c_str())), &upper, flags);
    const std::wstring size = std::to_wstring(rc.right) + L" x " + std::to_wstring(rc.bottom);
    RECT lower{0, mid, rc.right, mid + tm.tmHeight};
    DrawTextW(dc, size.c_str(), int(size.size()), &lower, flags);
    SelectObject(dc, oldFont);
    EndPaint(hwnd, &ps);
}

// A game is DPI-unaware unless it declares otherwise. Windows makes an undeclared program
// unaware, but Wine makes every program per-monitor aware and keeps it so; the thread's own
// awareness, which both honour, decides what its windows are.
void declareDpiAwareness(bool perMonitor) {
    using SetProcessContext = BOOL(WINAPI*)(DPI_AWARENESS_CONTEXT);
    using SetThreadContext = DPI_AWARENESS_CONTEXT(WINAPI*)(DPI_AWARENESS_CONTEXT);
    HMODULE user32 = GetModuleHandleW(L"user32.dll");
    // newer user32 only, and through void(*)() so the cast between function types is explicit
    auto setProcess = reinterpret_cast<SetProcessContext>(
        reinterpret_cast<void (*)()>(GetProcAddress(user32, "SetProcessDpiAwarenessContext")));
    auto setThread = reinterpret_cast<SetThreadContext>(
        reinterpret_cast<void (*)()>(GetProcAddress(user32, "SetThreadDpiAwarenessContext")));
    const DPI_AWARENESS_CONTEXT context =
        perMonitor ? DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2 : DPI_AWARENESS_CONTEXT_UNAWARE;
    if (setProcess) setProcess(context);
    if (setThread) setThread(context);
}

// A game that renders at a fixed size checks the client area it got and grows or shrinks its
// window by the difference. Wine 10 gives a DPI-unaware window on a scaled display a client a
// few pixels off what AdjustWindowRectEx asked for (802x615 for 800x600 at 144 DPI), as its
// frame is scaled and rounded; a second step covers a change the first one brings.
void keepClientSize(HWND hwnd, int width, int height) {
    for (int attempt = 0; attempt < 3; ++attempt) {
        RECT client{}, frame{};
        GetClientRect(hwnd, &client);
        const int dx = width - client.right, dy = height - client.bottom;
        if (dx == 0 && dy == 0) return;
        GetWindowRect(hwnd, &frame);
        SetWindowPos(hwnd, nullptr, 0, 0, frame.right - frame.left + dx,
                     frame.bottom - frame.top + dy,
                     SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOOWNERZORDER);
    }
}

void show(HWND hwnd, int cmd) {
    logLine("show %d", cmd);
    ShowWindow(hwnd, cmd);
}

LRESULT CALLBACK dialogProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_CLOSE) {
        // the owner first, so Windows activates it rather than another program's window
        EnableWindow(GetWindow(hwnd, GW_OWNER), TRUE);
        DestroyWindow(hwnd);
        logLine("dialog closed");
        return 0;
    }
    return DefWindowProcW(hwnd, msg, wParam, lParam);
}

// A modal dialog of the game's kind: owned by the main window, which it disables.
HWND openDialog(HWND owner) {
    RECT at{};
    GetWindowRect(owner, &at);
    constexpr int width = 240, height = 120;
    const HWND dialog = CreateWindowExW(
        WS_EX_DLGMODALFRAME, qorDialogClassName, L"QOR dialog", WS_POPUP | WS_CAPTION | WS_SYSMENU,
        (at.left + at.right - width) / 2, (at.top + at.bottom - height) / 2, width, height, owner,
        nullptr, GetModuleHandleW(nullptr), nullptr);
    if (!dialog) return nullptr;
    EnableWindow(owner, FALSE);
    ShowWindow(dialog, SW_SHOW);
    SetForegroundWindow(dialog);
    logLine("dialog 0x%llX", static_cast<unsigned long long>(reinterpret_cast<UINT_PTR>(dialog)));
    return dialog;
}

LRESULT CALLBACK windowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
    case WM_CREATE: {
        logLine("start pid=%lu hwnd=0x%llX", static_cast<unsigned long>(GetCurrentProcessId()),
                static_cast<unsigned long long>(reinterpret_cast<UINT_PTR>(hwnd)));
        wchar_t folder[MAX_PATH];
        char utf8[3 * MAX_PATH + 1];
        const DWORD n = GetCurrentDirectoryW(MAX_PATH, folder);
        if (n > 0 && n < MAX_PATH &&
            WideCharToMultiByte(CP_UTF8, 0, folder, -1, utf8, sizeof utf8, nullptr, nullptr))
            logLine("cwd %s", utf8);
        return 0;
    }
    case WM_GETTEXTLENGTH:
        ++titleQueries;
        return LRESULT(title.size());
    case WM_GETTEXT: {
        ++titleQueries;
        ++titleQueriesBySize[wParam];
        logLine("gettext");
        auto* buffer = reinterpret_cast<wchar_t*>(lParam);
        if (wParam == 0 || buffer == nullptr) return 0;
        const size_t count = title.size() < wParam - 1 ? title.size() : wParam - 1;
        title.copy(buffer, count);
        buffer[count] = L'\0';
        return LRESULT(count);
    }
    case WM_SETTEXT:
        logLine("settext");
        title = lParam ? reinterpret_cast<const wchar_t*>(lParam) : L"";
        showCaption(hwnd);
        return TRUE;
    case WM_COPYDATA: {
        const auto* data = reinterpret_cast<const COPYDATASTRUCT*>(lParam);
        if (!data || data->dwData != QOR_COPYDATA_TITLE) return FALSE;
        // copy bytewise: lpData need not be aligned for wchar_t
        std::wstring units(data->cbData / sizeof(wchar_t), L'\0');
        if (!units.empty()) std::memcpy(units.data(), data->lpData, units.size() * sizeof(wchar_t));
        title = std::move(units);
        showCaption(hwnd);
        return TRUE;
    }
    case WM_NCCALCSIZE:
        if (wideFrame && (GetWindowLongW(hwnd, GWL_STYLE) & WS_CAPTION) == WS_CAPTION) {
            DefWindowProcW(hwnd, msg, wParam, lParam);
            // both forms start with the client rectangle
            InflateRect(reinterpret_cast<RECT*>(lParam), -wideFrame, -wideFrame);
            return 0;
        }
        break;
    case WM_STYLECHANGING:
        if (refuseStyles) {
            auto* change = reinterpret_cast<STYLESTRUCT*>(lParam);
            change->styleNew = change->styleOld;
            logLine("refused %s", LONG_PTR(wParam) == GWL_STYLE ? "style" : "exstyle");
        }
        return 0;
    case WM_STYLECHANGED: {
        const auto* change = reinterpret_cast<const STYLESTRUCT*>(lParam);
        if (LONG_PTR(wParam) == GWL_STYLE) logLine("style 0x%08lX", change->styleNew);
        if (LONG_PTR(wParam) == GWL_EXSTYLE) logLine("exstyle 0x%08lX", change->styleNew);
        break;
    }
    case WM_WINDOWPOSCHANGED: {
        RECT wr, cr;
        GetWindowRect(hwnd, &wr);
        GetClientRect(hwnd, &cr);
        logLine("pos %ld %ld %ld %ld", wr.left, wr.top, wr.right - wr.left, wr.bottom - wr.top);
        logLine("client %ld %ld", cr.right, cr.bottom);
        break; // DefWindowProc turns it into WM_SIZE and WM_MOVE
    }
    case WM_ACTIVATE:
        if (LOWORD(wParam) != WA_INACTIVE) logLine("activate");
        break;
    case WM_ERASEBKGND:
        return 1; // WM_PAINT fills everything
    case WM_PAINT:
        paint(hwnd);
        return 0;
    case QOR_HANG:
        logLine("hang %lu", static_cast<unsigned long>(wParam));
        ReplyMessage(0); // a sender learns that the sleep has begun
        if (lParam) {
            // a change that a reader of titles must come and ask about, while nobody answers
            title += L"!";
            showCaption(hwnd);
        }
        Sleep(DWORD(wParam));
        logLine("awake");
        return 0;
    case QOR_EXIT:
        exitCode = int(wParam);
        DestroyWindow(hwnd);
        return 0;
    case QOR_MINIMIZE:
        show(hwnd, SW_MINIMIZE);
        return 0;
    case QOR_MAXIMIZE:
        show(hwnd, SW_MAXIMIZE);
        return 0;
    case QOR_RESTORE:
        show(hwnd, SW_RESTORE);
        return 0;
    case QOR_CLIENTSIZE: {
        RECT rc{};
        GetClientRect(hwnd, &rc);
        return MAKELRESULT(rc.right, rc.bottom);
    }
    case QOR_DIALOG:
        return reinterpret_cast<LRESULT>(openDialog(hwnd));
    case QOR_TITLEQUERIES:
        return wParam ? titleQueriesBySize[wParam] : titleQueries;
    case QOR_CRASH:
        logLine("crash");
        TerminateProcess(GetCurrentProcess(), 3);
        return 0;
    case WM_DESTROY:
        logLine("exit %d", exitCode);
        PostQuitMessage(exitCode);
        return 0;
    }
    return DefWindowProcW(hwnd, msg, wParam, lParam);
}

} // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int showCmd) {
    std::wstring className = qorClassName;
    int width = 1024, height = 768, x = 100, y = 100;
    int startShow = showCmd;
    bool perMonitorAware = false;

    int argc = 0;
    LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    for (int i = 1; argv && i < argc; ++i) {
        const std::wstring arg = argv[i];
        const wchar_t* value = i + 1 < argc ? argv[i + 1] : nullptr;
        if (arg == L"--minimized")
            startShow = SW_SHOWMINIMIZED;
        else if (arg == L"--maximized")
            startShow = SW_SHOWMAXIMIZED;
        else if (arg == L"--per-monitor-aware")
            perMonitorAware = true;
        else if (arg == L"--refuse-styles")
            refuseStyles = true;
        else if (arg == L"--wide-frame")
            wideFrame = 4;
        else if (!value)
            continue;
        else if (arg == L"--title")
            title = argv[++i];
        else if (arg == L"--class")
            className = argv[++i];
        else if (arg == L"--size")
            std::swscanf(argv[++i], L"%dx%d", &width, &height);
        else if (arg == L"--pos")
            std::swscanf(argv[++i], L"%d,%d", &x, &y);
        else if (arg == L"--log")
            logFile = CreateFileW(argv[++i], FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                  nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    }
    LocalFree(argv);
    // a client started by another program, which passes no arguments, logs here
    wchar_t logPath[MAX_PATH];
    const DWORD logLength = GetEnvironmentVariableW(L"QOR_LOG", logPath, MAX_PATH);
    if (logFile == INVALID_HANDLE_VALUE && logLength > 0 && logLength < MAX_PATH)
        logFile = CreateFileW(logPath, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    declareDpiAwareness(perMonitorAware);

    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.style = CS_HREDRAW | CS_VREDRAW;
    wc.lpfnWndProc = windowProc;
    wc.hInstance = instance;
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.lpszClassName = className.c_str();
    if (!RegisterClassExW(&wc)) return 1;
    WNDCLASSEXW dialogClass = wc;
    dialogClass.lpfnWndProc = dialogProc;
    dialogClass.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
    dialogClass.lpszClassName = qorDialogClassName;
    if (!RegisterClassExW(&dialogClass)) return 1;

    font = CreateFontW(-24, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                       OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                       DEFAULT_PITCH | FF_SWISS, L"Arial");

    // --size is the client area, as a game picks its render size
    const DWORD style = WS_OVERLAPPEDWINDOW;
    RECT outer{0, 0, width, height};
    AdjustWindowRectEx(&outer, style, FALSE, 0);
    InflateRect(&outer, wideFrame, wideFrame);
    HWND hwnd =
        CreateWindowExW(0, className.c_str(), title.c_str(), style, x, y, outer.right - outer.left,
                        outer.bottom - outer.top, nullptr, nullptr, instance, nullptr);
    if (!hwnd) return 1;
    keepClientSize(hwnd, width, height);
    ShowWindow(hwnd, startShow);
    UpdateWindow(hwnd);

    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    if (font) DeleteObject(font);
    if (logFile != INVALID_HANDLE_VALUE) CloseHandle(logFile);
    return int(msg.wParam);
}
