// A stand-in web browser for tests: while it lives, the shell opens every https address by
// starting a stand-in client titled with that address.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

class SchemeHandler {
  public:
    SchemeHandler();
    // Puts back what was registered and ends every stand-in it started.
    ~SchemeHandler();
    SchemeHandler(const SchemeHandler&) = delete;
    SchemeHandler& operator=(const SchemeHandler&) = delete;

    // The stand-ins started for this address so far.
    std::vector<HWND> opened(const std::wstring& address) const;

  private:
    struct Saved {
        HKEY root;
        bool existed = false;
        std::wstring old;
    };
    std::vector<Saved> saves;
};
