#include "testkit.h"

#include "tools/qor/qor_protocol.h"

#include <tlhelp32.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <utility>

namespace testkit {

namespace {

// ntdll entry points are looked up at run time: no import library needed on any toolchain.
using NtStatus = LONG;
constexpr NtStatus statusInfoLengthMismatch = static_cast<NtStatus>(0xC0000004L);
constexpr ULONG systemExtendedHandleInformation = 64;
constexpr ULONG processBasicInformation = 0;

struct HandleEntryEx {
    PVOID Object;
    ULONG_PTR UniqueProcessId;
    ULONG_PTR HandleValue;
    ULONG GrantedAccess;
    USHORT CreatorBackTraceIndex;
    USHORT ObjectTypeIndex;
    ULONG HandleAttributes;
    ULONG Reserved;
};

struct HandleInformationEx {
    ULONG_PTR NumberOfHandles;
    ULONG_PTR Reserved;
    HandleEntryEx Handles[1];
};

struct ProcessBasicInformation {
    NtStatus ExitStatus;
    PVOID PebBaseAddress;
    ULONG_PTR AffinityMask;
    LONG BasePriority;
    ULONG_PTR UniqueProcessId;
    ULONG_PTR InheritedFrom;
};

using QuerySystemInformation = NtStatus(WINAPI*)(ULONG, PVOID, ULONG, PULONG);
using QueryInformationProcess = NtStatus(WINAPI*)(HANDLE, ULONG, PVOID, ULONG, PULONG);

template <class Fn> Fn ntdllFunction(const char* name) {
    HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    if (!ntdll) return nullptr;
    // through void(*)() so the cast between function types is explicit
    return reinterpret_cast<Fn>(reinterpret_cast<void (*)()>(GetProcAddress(ntdll, name)));
}

struct HandleOwner {
    HANDLE h = nullptr;
    explicit HandleOwner(HANDLE handle) : h(handle == INVALID_HANDLE_VALUE ? nullptr : handle) {}
    HandleOwner(const HandleOwner&) = delete;
    HandleOwner& operator=(const HandleOwner&) = delete;
    ~HandleOwner() {
        if (h) CloseHandle(h);
    }
};

// Owns the screen DC, a memory DC and a DIB section selected into it, in reverse order.
class ScreenCopy {
  public:
    ScreenCopy(int width, int height) {
        screen = GetDC(nullptr);
        if (!screen) return;
        memory = CreateCompatibleDC(screen);
        if (!memory) return;
        BITMAPINFO info{};
        info.bmiHeader.biSize = sizeof info.bmiHeader;
        info.bmiHeader.biWidth = width;
        info.bmiHeader.biHeight = -height; // top-down rows
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        info.bmiHeader.biCompression = BI_RGB;
        bitmap = CreateDIBSection(memory, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
        if (bitmap) old = SelectObject(memory, bitmap);
    }
    ScreenCopy(const ScreenCopy&) = delete;
    ScreenCopy& operator=(const ScreenCopy&) = delete;
    ~ScreenCopy() {
        if (old) SelectObject(memory, old);
        if (bitmap) DeleteObject(bitmap);
        if (memory) DeleteDC(memory);
        if (screen) ReleaseDC(nullptr, screen);
    }
    bool ok() const { return old && bits; }

    HDC screen = nullptr;
    HDC memory = nullptr;
    HBITMAP bitmap = nullptr;
    HGDIOBJ old = nullptr;
    void* bits = nullptr;
};

// The value after --class in a stand-in's arguments, quoted or not.
std::wstring classFromArgs(const std::wstring& args) {
    const std::wstring flag = L"--class";
    size_t at = args.find(flag);
    while (at != std::wstring::npos && at + flag.size() < args.size() &&
           args[at + flag.size()] != L' ')
        at = args.find(flag, at + 1);
    if (at == std::wstring::npos) return qorClassName;
    size_t begin = args.find_first_not_of(L' ', at + flag.size());
    if (begin == std::wstring::npos) return qorClassName;
    wchar_t end = L' ';
    if (args[begin] == L'"') {
        end = L'"';
        ++begin;
    }
    const size_t stop = args.find(end, begin);
    return args.substr(begin, stop == std::wstring::npos ? std::wstring::npos : stop - begin);
}

} // namespace

std::wstring binDir() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = GetModuleFileNameW(nullptr, path.data(), DWORD(path.size()));
        if (n == 0) return L"";
        if (n < path.size()) {
            path.resize(n);
            break;
        }
        path.resize(path.size() * 2);
    }
    const size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? L"" : path.substr(0, slash + 1);
}

Process::Process(Process&& other) noexcept
    : process(std::exchange(other.process, nullptr)), pid(std::exchange(other.pid, 0)) {}

Process& Process::operator=(Process&& other) noexcept {
    if (this != &other) {
        kill();
        if (process) CloseHandle(process);
        process = std::exchange(other.process, nullptr);
        pid = std::exchange(other.pid, 0);
    }
    return *this;
}

Process::~Process() {
    kill();
    if (process) CloseHandle(process);
}

Process Process::start(const std::wstring& exe, const std::wstring& args) {
    std::wstring line = L"\"" + exe + L"\"";
    if (!args.empty()) line += L" " + args;
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    Process started;
    // Under Wine one start in several hundred fails (seen in the switcher's 90 s churn, cause
    // not found); a test is about what the program does, so the kit tries twice more.
    for (int attempt = 0;; ++attempt) {
        std::wstring commandLine = line; // CreateProcessW may write into it
        if (CreateProcessW(exe.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                           nullptr, &si, &pi))
            break;
        const DWORD error = GetLastError();
        std::fwprintf(stderr, L"starting %ls failed, error %lu\n", exe.c_str(), error);
        if (attempt == 2) return started;
        Sleep(100);
    }
    CloseHandle(pi.hThread);
    started.process = pi.hProcess;
    started.pid = pi.dwProcessId;
    return started;
}

Process Process::adopt(DWORD pid) {
    Process adopted;
    adopted.process =
        OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE | PROCESS_QUERY_INFORMATION, FALSE, pid);
    if (adopted.process) adopted.pid = pid;
    return adopted;
}

bool Process::running() const {
    return process && WaitForSingleObject(process, 0) == WAIT_TIMEOUT;
}

bool Process::waitExit(DWORD ms, DWORD* code) const {
    if (!process || WaitForSingleObject(process, ms) != WAIT_OBJECT_0) return false;
    if (code && !GetExitCodeProcess(process, code)) return false;
    return true;
}

void Process::kill() {
    if (!running()) return;
    TerminateProcess(process, 1);
    WaitForSingleObject(process, 5000);
}

void pump() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg); // keys make characters as in the program's own loop
        DispatchMessageW(&msg);
    }
}

bool pumpUntil(const std::function<bool()>& cond, DWORD timeoutMs) {
    return waitUntil(
        [&] {
            pump();
            return cond();
        },
        timeoutMs, 5);
}

void pumpFor(DWORD ms) {
    pumpUntil([] { return false; }, ms);
}

namespace {

INPUT keyInput(WORD vk, DWORD flags) {
    INPUT input{};
    input.type = INPUT_KEYBOARD;
    input.ki.wVk = vk;
    input.ki.wScan = static_cast<WORD>(MapVirtualKeyW(vk, MAPVK_VK_TO_VSC));
    switch (vk) {
    case VK_LEFT:
    case VK_RIGHT:
    case VK_UP:
    case VK_DOWN:
    case VK_INSERT:
    case VK_DELETE:
    case VK_HOME:
    case VK_END:
    case VK_PRIOR:
    case VK_NEXT:
    case VK_LWIN:
    case VK_RWIN:
        flags |= KEYEVENTF_EXTENDEDKEY; // not the number pad's keys
        break;
    default:
        break;
    }
    input.ki.dwFlags = flags;
    return input;
}

// Key messages this thread has taken from its queue while sendKeys waits. The key state
// cannot tell: under Wine GetKeyState may answer from the desktop's state before the thread
// has taken the messages, or miss a press in between.
int keysTaken = 0;

LRESULT CALLBACK countKey(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HC_ACTION) ++keysTaken;
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

} // namespace

bool sendKeys(const std::vector<WORD>& down, const std::vector<WORD>& up) {
    std::vector<INPUT> inputs;
    for (WORD vk : down)
        inputs.push_back(keyInput(vk, 0));
    for (WORD vk : up)
        inputs.push_back(keyInput(vk, KEYEVENTF_KEYUP));
    keysTaken = 0;
    const HHOOK hook = SetWindowsHookExW(WH_KEYBOARD, countKey, nullptr, GetCurrentThreadId());
    if (!hook) return false;
    SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT));
    const int expected = static_cast<int>(inputs.size());
    const bool taken = pumpUntil([&] { return keysTaken >= expected; }, 2000);
    UnhookWindowsHookEx(hook);
    return taken && keysTaken == expected;
}

bool pressKeys(const std::vector<WORD>& keys) {
    return sendKeys(keys, std::vector<WORD>(keys.rbegin(), keys.rend()));
}

bool hotKeyTaken(UINT modifiers, UINT vk) {
    constexpr int probe = 0xB000;
    if (!RegisterHotKey(nullptr, probe, modifiers, vk)) return true;
    UnregisterHotKey(nullptr, probe);
    return false;
}

bool bringToFront(HWND window, DWORD timeoutMs) {
    ULONGLONG since = GetTickCount64();
    return waitUntil(
        [&] {
            if (GetForegroundWindow() != window) {
                SetForegroundWindow(window);
                since = GetTickCount64();
            }
            return GetTickCount64() - since >= 150;
        },
        timeoutMs);
}

void pressKeysElsewhere(const std::vector<WORD>& keys) {
    std::vector<INPUT> inputs;
    for (WORD vk : keys)
        inputs.push_back(keyInput(vk, 0));
    for (auto it = keys.rbegin(); it != keys.rend(); ++it)
        inputs.push_back(keyInput(*it, KEYEVENTF_KEYUP));
    SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT));
}

bool moveCursor(int x, int y) {
    SetCursorPos(x, y);
    ULONGLONG heldSince = 0;
    return pumpUntil(
        [&] {
            POINT at{};
            GetCursorPos(&at);
            if (at.x != x || at.y != y) {
                SetCursorPos(x, y);
                heldSince = 0;
                return false;
            }
            // a late report of an earlier place can still undo it for a moment
            if (!heldSince) heldSince = GetTickCount64();
            return GetTickCount64() - heldSince >= 40;
        },
        1000);
}

void mouseTo(POINT at) {
    INPUT input{};
    input.type = INPUT_MOUSE;
    input.mi.dx = MulDiv(at.x, 65535, GetSystemMetrics(SM_CXSCREEN) - 1);
    input.mi.dy = MulDiv(at.y, 65535, GetSystemMetrics(SM_CYSCREEN) - 1);
    input.mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
    SendInput(1, &input, sizeof input);
}

void mouseButton(DWORD flags) {
    INPUT input{};
    input.type = INPUT_MOUSE;
    input.mi.dwFlags = flags;
    SendInput(1, &input, sizeof input);
}

namespace {
bool cursorAt(POINT at) {
    POINT now{};
    return GetCursorPos(&now) && now.x == at.x && now.y == at.y;
}
} // namespace

void clickScreen(POINT at, bool right) {
    for (int attempt = 0; attempt < 3; ++attempt) {
        moveCursor(at.x, at.y);
        Sleep(80);
        const bool steadyBefore = cursorAt(at);
        mouseButton(right ? MOUSEEVENTF_RIGHTDOWN : MOUSEEVENTF_LEFTDOWN);
        Sleep(30);
        const bool steadyPressed = cursorAt(at);
        mouseButton(right ? MOUSEEVENTF_RIGHTUP : MOUSEEVENTF_LEFTUP);
        Sleep(60);
        if (steadyBefore && steadyPressed) return;
    }
}

bool dragScreen(POINT from, POINT to, int stride, const std::function<bool(POINT)>& follows,
                DWORD timeoutMs) {
    const LONG dx = to.x - from.x, dy = to.y - from.y;
    const LONG steps = std::max(1L, (std::max(std::labs(dx), std::labs(dy)) + stride - 1) / stride);
    // A press that Wine delivers at an earlier pointer position drags nothing: the drag is made
    // again, as a user whose hand slipped would, as long as nothing moved.
    for (int attempt = 0; attempt < 3; ++attempt) {
        moveCursor(from.x, from.y);
        Sleep(80);
        mouseButton(MOUSEEVENTF_LEFTDOWN);
        LONG followed = 0;
        while (followed < steps) {
            const LONG step = followed + 1;
            const POINT pointer{from.x + dx * step / steps, from.y + dy * step / steps};
            if (!waitUntil(
                    [&] {
                        mouseTo(pointer);
                        Sleep(20);
                        return follows(pointer);
                    },
                    followed ? timeoutMs : timeoutMs / 3))
                break;
            followed = step;
        }
        mouseButton(MOUSEEVENTF_LEFTUP);
        Sleep(60);
        if (followed == steps) return true;
        if (followed > 0 || !follows(from)) return false;
    }
    return false;
}

bool waitUntil(const std::function<bool()>& cond, DWORD timeoutMs, DWORD pollMs) {
    const ULONGLONG deadline = GetTickCount64() + timeoutMs;
    for (;;) {
        if (cond()) return true;
        if (GetTickCount64() >= deadline) return false;
        Sleep(pollMs);
    }
}

namespace {

struct WindowSearch {
    const wchar_t* className;
    DWORD pid;
    std::vector<HWND> found;
};

BOOL CALLBACK collectWindow(HWND hwnd, LPARAM param) {
    auto& search = *reinterpret_cast<WindowSearch*>(param);
    DWORD owner = 0;
    GetWindowThreadProcessId(hwnd, &owner);
    if (search.pid && owner != search.pid) return TRUE;
    wchar_t name[256];
    if (GetClassNameW(hwnd, name, 256) && std::wcscmp(name, search.className) == 0)
        search.found.push_back(hwnd);
    return TRUE;
}

} // namespace

std::vector<HWND> findWindows(const wchar_t* className, DWORD pid) {
    WindowSearch search{className, pid, {}};
    EnumWindows(collectWindow, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

HWND findWindow(const wchar_t* className, DWORD pid) {
    const auto found = findWindows(className, pid);
    return found.empty() ? nullptr : found.front();
}

HWND waitForWindow(const wchar_t* className, DWORD pid, DWORD timeoutMs) {
    HWND hwnd = nullptr;
    waitUntil([&] { return (hwnd = findWindow(className, pid)) != nullptr; }, timeoutMs);
    return hwnd;
}

bool hang(HWND client, DWORD ms, bool retitled) {
    DWORD_PTR result = 0;
    return SendMessageTimeoutW(client, QOR_HANG, ms, retitled, SMTO_NORMAL, 5000, &result) != 0;
}

std::vector<StandIn> startClients(const std::vector<std::wstring>& argLists, DWORD timeoutMs) {
    const std::wstring exe = binDir() + L"qor.exe";
    std::vector<StandIn> clients;
    std::vector<std::wstring> classes;
    for (const auto& args : argLists) {
        clients.push_back({Process::start(exe, args), nullptr});
        classes.push_back(classFromArgs(args));
    }
    // one deadline for all: they start in parallel
    waitUntil(
        [&] {
            bool all = true;
            for (size_t i = 0; i < clients.size(); ++i) {
                auto& c = clients[i];
                if (c.hwnd || c.process.id() == 0) continue;
                HWND hwnd = findWindow(classes[i].c_str(), c.process.id());
                if (hwnd && IsWindowVisible(hwnd))
                    c.hwnd = hwnd;
                else if (c.process.running())
                    all = false;
            }
            return all;
        },
        timeoutMs);
    return clients;
}

Pixels readScreen(const RECT& screenRect) {
    Pixels pixels;
    const int width = screenRect.right - screenRect.left;
    const int height = screenRect.bottom - screenRect.top;
    if (width <= 0 || height <= 0) return pixels;
    ScreenCopy copy(width, height);
    if (!copy.ok() || !BitBlt(copy.memory, 0, 0, width, height, copy.screen, screenRect.left,
                              screenRect.top, SRCCOPY))
        return pixels;
    GdiFlush(); // the DIB's memory is only current after the batch ran
    pixels.width = width;
    pixels.height = height;
    pixels.data.resize(size_t(width) * size_t(height));
    const auto* bgra = static_cast<const std::uint8_t*>(copy.bits);
    for (size_t i = 0; i < pixels.data.size(); ++i)
        pixels.data[i] = RGB(bgra[4 * i + 2], bgra[4 * i + 1], bgra[4 * i]);
    return pixels;
}

COLORREF screenPixel(POINT at) {
    const Pixels pixel = readScreen({at.x, at.y, at.x + 1, at.y + 1});
    return pixel.data.empty() ? CLR_INVALID : pixel.at(0, 0);
}

Pixels readWindowPixels(HWND hwnd) {
    RECT rect;
    if (!GetWindowRect(hwnd, &rect)) return {};
    return readScreen(rect);
}

bool writeBitmap(const std::wstring& path, const Pixels& pixels) {
    std::vector<unsigned char> rows;
    rows.reserve(pixels.data.size() * 4);
    for (COLORREF c : pixels.data) {
        rows.push_back(GetBValue(c));
        rows.push_back(GetGValue(c));
        rows.push_back(GetRValue(c));
        rows.push_back(0);
    }
    BITMAPINFOHEADER info{};
    info.biSize = sizeof(info);
    info.biWidth = pixels.width;
    info.biHeight = -pixels.height; // top-down
    info.biPlanes = 1;
    info.biBitCount = 32;
    info.biCompression = BI_RGB;
    BITMAPFILEHEADER file{};
    file.bfType = 0x4D42;
    file.bfOffBits = sizeof(file) + sizeof(info);
    file.bfSize = file.bfOffBits + DWORD(rows.size());

    HANDLE out = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (out == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    bool ok = WriteFile(out, &file, sizeof(file), &written, nullptr) &&
              WriteFile(out, &info, sizeof(info), &written, nullptr) &&
              WriteFile(out, rows.data(), DWORD(rows.size()), &written, nullptr);
    CloseHandle(out);
    return ok;
}

Pixels readBitmap(HBITMAP bitmap) {
    Pixels pixels;
    BITMAP info{};
    if (!bitmap || !GetObjectW(bitmap, sizeof(info), &info)) return pixels;
    BITMAPINFO request{};
    request.bmiHeader.biSize = sizeof(request.bmiHeader);
    request.bmiHeader.biWidth = info.bmWidth;
    request.bmiHeader.biHeight = -info.bmHeight; // top-down
    request.bmiHeader.biPlanes = 1;
    request.bmiHeader.biBitCount = 32;
    request.bmiHeader.biCompression = BI_RGB;
    std::vector<std::uint8_t> bgra(size_t(info.bmWidth) * size_t(info.bmHeight) * 4);
    HDC screen = GetDC(nullptr);
    const int rows =
        GetDIBits(screen, bitmap, 0, UINT(info.bmHeight), bgra.data(), &request, DIB_RGB_COLORS);
    ReleaseDC(nullptr, screen);
    if (rows != info.bmHeight) return pixels;
    pixels.width = info.bmWidth;
    pixels.height = info.bmHeight;
    pixels.data.resize(size_t(info.bmWidth) * size_t(info.bmHeight));
    for (size_t i = 0; i < pixels.data.size(); ++i)
        pixels.data[i] = RGB(bgra[4 * i + 2], bgra[4 * i + 1], bgra[4 * i]);
    return pixels;
}

long countKernelHandles(DWORD pid) {
    const auto query = ntdllFunction<QuerySystemInformation>("NtQuerySystemInformation");
    if (!query) return -1;
    std::vector<std::uint8_t> buffer(1 << 20);
    for (;;) {
        ULONG needed = 0;
        const NtStatus status =
            query(systemExtendedHandleInformation, buffer.data(), ULONG(buffer.size()), &needed);
        if (status == statusInfoLengthMismatch && buffer.size() < (size_t(1) << 30)) {
            // handles come and go between calls: leave room to spare
            buffer.resize((std::max)(buffer.size() * 2, size_t(needed) + (1 << 16)));
            continue;
        }
        if (status < 0) return -1;
        break;
    }
    HandleInformationEx header;
    std::memcpy(&header, buffer.data(), offsetof(HandleInformationEx, Handles));
    const size_t capacity =
        (buffer.size() - offsetof(HandleInformationEx, Handles)) / sizeof(HandleEntryEx);
    const size_t count = (std::min)(size_t(header.NumberOfHandles), capacity);
    long owned = 0;
    for (size_t i = 0; i < count; ++i) {
        HandleEntryEx entry;
        std::memcpy(&entry,
                    buffer.data() + offsetof(HandleInformationEx, Handles) +
                        i * sizeof(HandleEntryEx),
                    sizeof entry);
        if (entry.UniqueProcessId == pid) ++owned;
    }
    return owned;
}

std::map<int, long> countGdiObjectsByType(DWORD pid) {
#if defined(_WIN64)
    const auto query = ntdllFunction<QueryInformationProcess>("NtQueryInformationProcess");
    if (!query) return {};
    HandleOwner process(OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, pid));
    if (!process.h) return {};
    ProcessBasicInformation info{};
    ULONG length = 0;
    if (query(process.h, processBasicInformation, &info, sizeof info, &length) < 0 ||
        !info.PebBaseAddress)
        return {};
    constexpr size_t gdiSharedHandleTableOffset = 0xF8;
    std::uint64_t table = 0;
    SIZE_T read = 0;
    if (!ReadProcessMemory(process.h,
                           static_cast<const std::uint8_t*>(info.PebBaseAddress) +
                               gdiSharedHandleTableOffset,
                           &table, sizeof table, &read) ||
        read != sizeof table || table == 0)
        return {};

    struct Cell {
        std::uint64_t object;
        std::uint16_t pid;
        std::uint16_t lock;
        std::uint8_t t0, t1, type, t3;
        std::uint64_t user;
    };
    static_assert(sizeof(Cell) == 24);
    constexpr size_t cellCount = 65536;
    std::vector<Cell> cells(cellCount);
    if (!ReadProcessMemory(process.h, reinterpret_cast<LPCVOID>(static_cast<UINT_PTR>(table)),
                           cells.data(), cells.size() * sizeof(Cell), &read) ||
        read != cells.size() * sizeof(Cell))
        return {};
    // Windows shares one table per session and fills in the owner; Wine leaves it 0
    const auto owner = static_cast<std::uint16_t>(pid);
    std::map<int, long> live;
    for (const Cell& c : cells)
        if (c.object != 0 && c.type != 0 && (c.pid == 0 || c.pid == owner)) ++live[c.type];
    return live;
#else
    (void)pid;
    return {};
#endif
}

long countGdiObjects(DWORD pid) {
    const std::map<int, long> byType = countGdiObjectsByType(pid);
    if (byType.empty()) return -1;
    long live = 0;
    for (const auto& entry : byType)
        live += entry.second;
    return live;
}

long gdiGrowthOverScaleChanges(const std::function<void(UINT)>& change, UINT start, int rounds) {
    const UINT other = start == 144 ? 96 : 144;
    auto cycle = [&] {
        change(other);
        change(start);
    };
    cycle();
    const DWORD self = GetCurrentProcessId();
    const long before = countGdiObjects(self);
    for (int i = 0; i < rounds; ++i)
        cycle();
    return countGdiObjects(self) - before;
}

long countThreads(DWORD pid) {
    HandleOwner snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0));
    if (!snapshot.h) return -1;
    THREADENTRY32 entry{};
    entry.dwSize = sizeof entry;
    long threads = 0;
    for (BOOL more = Thread32First(snapshot.h, &entry); more;
         more = Thread32Next(snapshot.h, &entry))
        if (entry.th32OwnerProcessID == pid) ++threads;
    return threads;
}

std::vector<DWORD> processesNamed(const wchar_t* exeName) {
    std::vector<DWORD> ids;
    HandleOwner snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (!snapshot.h) return ids;
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32FirstW(snapshot.h, &entry); more;
         more = Process32NextW(snapshot.h, &entry))
        if (CompareStringOrdinal(entry.szExeFile, -1, exeName, -1, TRUE) == CSTR_EQUAL)
            ids.push_back(entry.th32ProcessID);
    return ids;
}

bool readFile(const std::wstring& path, std::string& text) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    text.clear();
    char chunk[4096];
    DWORD got = 0;
    while (ReadFile(file, chunk, sizeof chunk, &got, nullptr) && got > 0)
        text.append(chunk, got);
    CloseHandle(file);
    return true;
}

bool procReadable() {
    return GetFileAttributesW(L"Z:\\proc\\self\\status") != INVALID_FILE_ATTRIBUTES;
}

std::wstring linuxProcessDir(const std::wstring& exe) {
    std::string exeName(size_t(WideCharToMultiByte(CP_UTF8, 0, exe.c_str(), int(exe.size()),
                                                   nullptr, 0, nullptr, nullptr)),
                        '\0');
    WideCharToMultiByte(CP_UTF8, 0, exe.c_str(), int(exe.size()), exeName.data(),
                        int(exeName.size()), nullptr, nullptr);
    std::wstring best;
    unsigned long long newest = 0;
    WIN32_FIND_DATAW entry;
    HANDLE search = FindFirstFileW(L"Z:\\proc\\*", &entry);
    if (search == INVALID_HANDLE_VALUE) return best;
    do {
        if (entry.cFileName[0] < L'0' || entry.cFileName[0] > L'9') continue;
        const std::wstring dir = std::wstring(L"Z:\\proc\\") + entry.cFileName;
        std::string commandLine, stat;
        if (!readFile(dir + L"\\cmdline", commandLine) ||
            commandLine.find(exeName) == std::string::npos || !readFile(dir + L"\\stat", stat))
            continue;
        const size_t close = stat.rfind(')');
        if (close == std::string::npos) continue;
        // the start time is field 22; the state is field 3, just after the name
        unsigned long long started = 0;
        if (std::sscanf(stat.c_str() + close + 2,
                        "%*c %*d %*d %*d %*d %*d %*u %*u %*u %*u %*u %*u %*u %*d %*d %*d %*d %*d "
                        "%*d %llu",
                        &started) != 1)
            continue;
        if (best.empty() || started >= newest) {
            newest = started;
            best = dir;
        }
    } while (FindNextFileW(search, &entry));
    FindClose(search);
    return best;
}

long long countWakes(const std::wstring& processDir) {
    if (processDir.empty()) return -1;
    WIN32_FIND_DATAW entry;
    HANDLE search = FindFirstFileW((processDir + L"\\task\\*").c_str(), &entry);
    if (search == INVALID_HANDLE_VALUE) return -1;
    long long wakes = 0;
    do {
        if (entry.cFileName[0] < L'0' || entry.cFileName[0] > L'9') continue;
        std::string status;
        if (!readFile(processDir + L"\\task\\" + entry.cFileName + L"\\status", status)) continue;
        for (const char* field : {"\nvoluntary_ctxt_switches:", "\nnonvoluntary_ctxt_switches:"}) {
            const size_t at = status.find(field);
            if (at != std::string::npos)
                wakes += std::atoll(status.c_str() + at + std::strlen(field));
        }
    } while (FindNextFileW(search, &entry));
    FindClose(search);
    return wakes;
}

long long wakesOver(const std::wstring& processDir, DWORD ms) {
    const long long before = countWakes(processDir);
    if (before < 0) return -1;
    Sleep(ms);
    const long long after = countWakes(processDir);
    return after < 0 ? -1 : after - before;
}

int wineMajorVersion() {
    using WineGetVersion = const char*(CDECL*)();
    const auto version = ntdllFunction<WineGetVersion>("wine_get_version");
    return version ? std::atoi(version()) : 0;
}

bool actsAsWindowsDoes() {
    const int wine = wineMajorVersion();
    return wine == 0 || wine >= 10;
}

bool wine10Stage() {
    const char* stage = std::getenv("SKARVEL_TEST_WINE10");
    return stage && std::strcmp(stage, "1") == 0;
}

} // namespace testkit
