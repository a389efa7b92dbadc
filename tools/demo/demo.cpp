// Demo driver: starts three stand-in clients and Skarvel in the current (virtual) desktop,
// writes a screenshot, then either ends everything or, with --wait, leaves it to the user.
//   skarvel_demo.exe SCREENSHOT.bmp [--wait]
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "tests/support/skarvel_process.h"
#include "tests/support/testkit.h"

int wmain(int argc, wchar_t** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: skarvel_demo SCREENSHOT.bmp [--wait]\n");
        return 2;
    }
    const bool wait = argc > 2 && std::wstring(argv[2]) == L"--wait";

    std::vector<testkit::StandIn> clients = testkit::startClients({
        L"--title \"QOR - Alice\" --size 640x400 --pos 40,40",
        L"--title \"QOR - Bob\" --size 560x360 --pos 330,200",
        L"--title \"QOR - Carol\" --size 480x320 --pos 620,360",
    });
    Skarvel skarvel = startSkarvel();
    if (!skarvel.tray) {
        std::fprintf(stderr, "skarvel did not start\n");
        return 1;
    }
    // every window has handled its first messages, so it is painted
    for (const auto& client : clients)
        answers(client.hwnd, 5000);
    Sleep(500);

    RECT screen{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
    if (!testkit::writeBitmap(argv[1], testkit::readScreen(screen))) {
        std::fprintf(stderr, "could not write %ls\n", argv[1]);
        return 1;
    }
    if (wait) {
        std::printf("Skarvel is running; close the three clients to end the demo.\n");
        std::fflush(stdout);
        testkit::waitUntil(
            [&] {
                for (const auto& client : clients)
                    if (IsWindow(client.hwnd)) return !skarvel.process.running();
                return true;
            },
            INFINITE, 250);
    }
    exitSkarvel(skarvel);
    return 0;
}
