// Helpers for tests that run the real programs under Win32 (Wine here, Windows too).
#pragma once
#include <windows.h>

#include <functional>
#include <map>
#include <string>
#include <vector>

namespace testkit {

// Folder of the running test executable; skarvel.exe and qor.exe are built beside it.
std::wstring binDir();

// A process started by a test. Ending the owner ends the process by its id if it still runs.
class Process {
  public:
    Process() = default;
    Process(Process&& other) noexcept;
    Process& operator=(Process&& other) noexcept;
    Process(const Process&) = delete;
    Process& operator=(const Process&) = delete;
    ~Process();

    // exe: full path; args: the command line after the program name. Returns an empty
    // owner (id() == 0) when the process could not be started.
    static Process start(const std::wstring& exe, const std::wstring& args = L"");
    // Takes charge of a process someone else started (a client the program opened).
    static Process adopt(DWORD pid);

    DWORD id() const { return pid; }
    HANDLE handle() const { return process; }
    bool running() const;
    // True when the process ended within ms; its exit code goes to *code.
    bool waitExit(DWORD ms, DWORD* code = nullptr) const;
    void kill(); // TerminateProcess, then wait for it to end

  private:
    HANDLE process = nullptr;
    DWORD pid = 0;
};

// Polls cond every pollMs until it holds or timeoutMs passed; returns the last result.
bool waitUntil(const std::function<bool()>& cond, DWORD timeoutMs, DWORD pollMs = 10);
// Dispatches what the calling thread's windows have been sent or posted.
void pump();
// SetCursorPos that returns once GetCursorPos agrees: under Wine the position can lag, or
// even go back to an earlier one, for a moment after a warp.
bool moveCursor(int x, int y);
// The mouse as a user moves and presses it (SendInput): a move to absolute screen
// coordinates, and button flags such as MOUSEEVENTF_LEFTDOWN.
void mouseTo(POINT at);
void mouseButton(DWORD flags);
// A click where a user would make it. Under Wine a late echo of an earlier pointer position
// can move the pointer between press and release, which rightly cancels the press; when the
// pointer was seen to move, the click is made again, as a user whose hand slipped would.
void clickScreen(POINT at, bool right = false);
// A drag as a user makes it: the pointer to `from`, the left button down, steps of at most
// `stride` px towards `to`, each made again until `follows(pointer)` holds (under Wine a late
// echo of an earlier pointer position can come between), the button up. A window that
// follows keeps the pointer over itself, which a window not in front needs: the system hands
// it the captured pointer only there. True when every step was followed within timeoutMs.
bool dragScreen(POINT from, POINT to, int stride, const std::function<bool(POINT)>& follows,
                DWORD timeoutMs = 3000);
// waitUntil that keeps the calling thread's windows alive meanwhile.
bool pumpUntil(const std::function<bool()>& cond, DWORD timeoutMs);
// Dispatches what comes to the calling thread's windows for ms.
void pumpFor(DWORD ms);
// The keyboard as a user uses it (SendInput): `down` pressed in order, then `up` released in
// order. Returns once this thread's windows have had every one of them, false after 2 s.
bool sendKeys(const std::vector<WORD>& down, const std::vector<WORD>& up);
// Keys pressed together: each down in order, then each up in reverse.
bool pressKeys(const std::vector<WORD>& keys);
// The same for keys that go to another program (or to a key it holds): returns at once.
void pressKeysElsewhere(const std::vector<WORD>& keys);
// Whether some program holds this key: the calling thread tries to take it and lets go at once.
bool hotKeyTaken(UINT modifiers, UINT vk);
// Brings the window to the front and waits until it has stayed there for a moment: a client
// just started may still take the front itself, and under Wine's virtual desktop a key pressed
// within milliseconds of a change of focus was seen to go astray now and then (no WM_HOTKEY for
// anyone, as if the modifiers were up); a user's next key comes later than that.
bool bringToFront(HWND window, DWORD timeoutMs = 5000);

// Top-level windows of a class that belong to a process, or to any for pid 0 (any
// visibility).
std::vector<HWND> findWindows(const wchar_t* className, DWORD pid);
HWND findWindow(const wchar_t* className, DWORD pid);
// Waits for such a window to exist; NULL on timeout.
HWND waitForWindow(const wchar_t* className, DWORD pid, DWORD timeoutMs = 10000);

// A game-client stand-in (qor.exe) started by a test, with its main window.
struct StandIn {
    Process process;
    HWND hwnd = nullptr;
};
// Starts one stand-in per argument list (see tools/qor/qor_protocol.h) and waits until
// every one shows its window. A stand-in that failed to appear has hwnd NULL.
std::vector<StandIn> startClients(const std::vector<std::wstring>& argLists,
                                  DWORD timeoutMs = 15000);
// Puts a stand-in to sleep for ms inside a handler; true once the sleep has begun. Sent, not
// posted: a posted one can wait behind messages sent later, so a busy client looks hung
// before it is, and then answers. Retitled, its title gains a "!" as the sleep begins.
bool hang(HWND client, DWORD ms, bool retitled = false);

// Screen pixels as 0x00BBGGRR COLORREF values, row by row.
struct Pixels {
    int width = 0;
    int height = 0;
    std::vector<COLORREF> data;
    COLORREF at(int x, int y) const { return data[size_t(y) * size_t(width) + size_t(x)]; }
};
Pixels readScreen(const RECT& screenRect);
// One pixel of the screen; CLR_INVALID where it cannot be read.
COLORREF screenPixel(POINT at);
Pixels readWindowPixels(HWND hwnd);
// A 32-bit top-down BMP file of the pixels.
bool writeBitmap(const std::wstring& path,
                 const Pixels& pixels); // the window's rectangle as it shows on screen
// A bitmap's pixels (a window's back buffer, read in its own process); it must not be
// selected into a DC.
Pixels readBitmap(HBITMAP bitmap);

// Live GDI objects and kernel handles of a process, or -1 when they cannot be read.
// GetGuiResources and GetProcessHandleCount answer 0 under Wine, so these read the
// shared GDI handle table through the process's PEB and the system handle list.
long countGdiObjects(DWORD pid);
// The same by the table's type byte, to tell what a leak is made of.
std::map<int, long> countGdiObjectsByType(DWORD pid);
long countKernelHandles(DWORD pid);

// This process's GDI objects gained over `rounds` changes of scale from `start` to the other of
// 96 and 144 and back, each made by `change`, after one round that warms up what it caches.
long gdiGrowthOverScaleChanges(const std::function<void(UINT)>& change, UINT start, int rounds);

// Threads of a process (toolhelp snapshot), or -1.
long countThreads(DWORD pid);
// Ids of the running processes of this exe's file name, from whatever folder.
std::vector<DWORD> processesNamed(const wchar_t* exeName);

// The Linux process behind a Windows program that runs from `exe` (its full path), as
// Z:\proc\<id>, or empty (on Windows, or when none runs): the newest one whose command line
// holds the path. Under Wine another process's CPU time reads 0 through Win32.
std::wstring linuxProcessDir(const std::wstring& exe);
// Whether Linux's /proc can be read, as Z:\proc under Wine; Windows has none.
bool procReadable();
// Times the threads of that process were put to sleep and woken, all threads together (the
// context switches of /proc/<id>/task/*/status), or -1: what a program that does no work at rest
// must not gain.
long long countWakes(const std::wstring& processDir);
// The wakes of a process over `ms` of rest; -1 where they cannot be read.
long long wakesOver(const std::wstring& processDir, DWORD ms);
bool readFile(const std::wstring& path, std::string& text);

// What the system is. Every stage but one runs under Wine 8, which makes every program
// per-monitor aware (nothing is scaled) and tells an out-of-context WinEvent hook of no new
// foreground. Windows and Wine 10 scale a DPI-unaware window on a scaled display and tell the
// hook at once. What Wine 10 does besides, seen here (beyond the test bed's notes):
// - `wine x.exe` returns the program's exit code, but the program runs in a process of its
//   own, not the `wine` command's; a process started with CreateProcess is its own, as
//   everywhere, so Process ids and handles work as under Wine 8.
// - The "shell" desktop's taskbar reserves no work area: the work area is the whole screen,
//   and the fit lands at the screen's corner.
// - A DPI-unaware window created for a client area gets one a few pixels off it on a scaled
//   display (the stand-in corrects it, as a game that checks does).
// - Text measures a few pixels wider than under Wine 8 with the same fonts.
// - With the hook in place and nothing changing, the program's threads were woken not once in
//   2 s (countWakes); with a 90 ms timer, over 20 times.
// - The first real click on the tray menu of a fresh session was lost about half the time (the
//   menu closed, no command came) while the pointer had just moved; once a moved pointer is
//   waited for to hold before the click (clickScreen), none was lost.
// - Run from a chroot it needs /proc mounted ("could not load ntdll.so" otherwise); without
//   wine32 a 64-bit prefix works, and WINEDEBUG=-all silences the hint about it.
// Wine 8, too, maps rectangles between a thread set DPI-unaware and an aware reader (an unaware
// 1024x768 client reads 1536x1152 at 144 DPI) while showing it unscaled.
int wineMajorVersion(); // 0 on Windows
// Windows, or a Wine that scales unaware windows and reports the foreground as it does.
bool actsAsWindowsDoes();
// The run is the Wine 10 stage (SKARVEL_TEST_WINE10=1), where such a test must run.
bool wine10Stage();

} // namespace testkit
