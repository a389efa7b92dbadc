// The client switcher strip: one cell per running client, in the player's order, then by name;
// a click brings that client to the front, and a cell carried sideways takes another place.
#pragma once
#include <vector>

#include "clients/activation.h"
#include "clients/client_list.h"
#include "clients/client_pass.h"
#include "clients/new_clients.h"
#include "clients/switcher_model.h"
#include "core/handles.h"
#include "ui/menu_win.h"
#include "ui/window.h"

class SwitchKeys;

// What the strip's menu asks of the program beyond the strip: the commands it shares with the
// tray's menu. The dialogs report to the opener given for each; false for a command that is
// not shared.
class StripCommands {
  public:
    virtual bool Run(WPARAM command, HWND configOpener, HWND versionOpener) = 0;

  protected:
    ~StripCommands() = default;
};

class CSelectorWin : public CWindow {
  public:
    HWND opener = nullptr;
    // The commands it shares with the tray, and the program's one pass, given by the owner.
    StripCommands* commands = nullptr;
    // The program's keys, given by the owner: while the strip ticks, its tick follows the
    // foreground for them.
    SwitchKeys* keys = nullptr;
    // "Fit new clients", given by the owner: while the strip ticks, its tick looks for it.
    NewClients* newClients = nullptr;
    // The program's activations, given by the owner; a click on a cell starts one.
    Activations* activations = nullptr;

    CSelectorWin();
    ~CSelectorWin();

    // Creates the strip at the stored position; on success `opener` gets its commands.
    bool Create(HWND openerWindow);
    // Follows changed settings: rebuilds the menu; shown, it refreshes at once and every
    // period; hidden, it does nothing until shown again.
    void ApplySettings();
    int MeasureCell(const CWString& name) const;
    // The strip's size at another scale, its names measured there.
    SIZE SizeAt(Scale other) const;
    void Render();
    void RelayoutStrip();
    void RefreshClients();
    // Fonts, cell widths and size at this scale; the strip keeps its top-left corner.
    void SetScale(Scale newScale);

    LRESULT handle(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) override;

    // The clients of the cells in display order; none while the strip is hidden.
    std::vector<HWND> ShownClients() const;
    // A pass's clients: the refused ones are signed until a pass changes them or they go.
    void FollowPassReport(const PassReport& report);
    // The name a client's cell shows; empty for a client without one.
    CWString ShownName(HWND client) const;
    // Whether its timer runs: created and "Client Switcher" on.
    bool Ticking() const;
    // Windows told of a change to a top-level window: a change that may concern the strip
    // has it refreshed once, however many come at once.
    void OnWindowEvent(DWORD event, HWND window);
    // The period of its timer: short until Windows is known to report window changes, then
    // only a slow safety scan that mends a missed event and sees renames, which are not
    // reported everywhere.
    UINT RefreshPeriod() const;
    // For tests and benchmarks: the scans of the clients' titles asked of the worker.
    unsigned WorkerWakes() const { return feed.Wakes(); }

    // For tests and benchmarks: what the strip shows.
    const ClientRecords& Records() const { return model.records; }
    const ClientOrder& Order() const { return model.order; }
    int StripWidth() const { return stripWidth; }
    int StripHeight() const { return scale(stripHeight); }
    Scale CurrentScale() const { return scale; }
    HBITMAP BackBuffer() const { return backBuffer.get(); }
    bool Locked() const { return locked != 0; }
    const CMenuWin& Menu() const { return menu; }
    bool Scanning() const { return feed.Scanning(); }

  private:
    void OnCreate();
    // The stored place, or the nearest one that a monitor's work area shows.
    POINT StripPlace() const;
    void OnScreenChange();
    // At Windows' suggested place, which is under the pointer during a drag.
    void OnDpiChanged(Scale newScale, const RECT& suggested);
    // Fonts, cell widths and back buffer at this scale; the window keeps its size.
    void Rescale(Scale newScale);
    void OnTick();
    void StayOnTop();
    // Whether a change to this window may change what the strip shows.
    bool Concerns(HWND window);
    void Listen(bool on);
    // Unlocked, the strip is all caption, and the pointer moves over it as over one.
    void OnPointerMove(bool overCaption);
    void OnPress(POINT point);
    // The pointer moved with the button held on a cell: the cell may follow it.
    void OnCarry(POINT point);
    // The button up, the capture taken away, the client gone or the strip hidden: a carried
    // cell stays where it is, and the player's order is stored when it changed.
    void EndCarry();
    // Whether each client is minimised or not answering; true when any changed.
    bool LookAtStates();
    // A press where the strip is dragged: Windows moves it, across monitors of any scale.
    void OnDragPress(LPARAM screenPoint);
    void OpenMenu();
    void OnCommand(WPARAM command);
    void UpdateHover();
    void FillMenu();
    HWND HitTest(POINT point) const;
    void Redraw();
    // The client the foreground window is known by (a client's own dialog is that client).
    HWND FrontClient();
    bool MergeLastScan(const MeasureCellFn& measure);

    Bitmap backBuffer;
    CMenuWin menu;
    Scale scale;
    int locked = 1;
    bool moving = false; // Windows' move loop runs
    Font textFont;
    Font measureFont;
    int busy = 0;
    HWND lastForeground = nullptr;                             // the one the back buffer shows lit
    HWND foregroundSeen = nullptr, foregroundClient = nullptr; // the last foreground, its client
    HWND hovered;           // all bits set until the first hover test
    bool hoverStale = true; // the cells moved since the last hover test
    int stripWidth = 0;
    SwitcherModel model;
    ClientFeed feed;
    bool refreshPosted = false;
    // an event that comes only where Windows reports window changes has come: they are
    bool eventsArrive = false;
    bool allHooked = false;       // every hook the strip asked for is in place
    bool statesAsked = false;     // a client was told minimised or restored
    ULONGLONG statesLookedAt = 0; // when the clients' states were last read
    HWND dying = nullptr;         // a client told destroyed that the strip still lists
    ULONGLONG dyingSince = 0;
};
