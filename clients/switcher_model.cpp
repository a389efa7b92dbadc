#include "clients/switcher_model.h"

#include <algorithm>
#include <cwchar>
#include <string_view>
#include <utility>

#include "core/game_client.h"
#include "core/messages.h"

bool mergeSlots(const ClientSlot (&slots)[maxClients], ClientRecords& records, int& clientCounter,
                const MeasureCellFn& measure) {
    bool changed = false;
    for (const ClientSlot& slot : slots) {
        if (!slot.window) continue;
        const bool bare = wcscmp(slot.name, clientBareTitle) == 0;
        auto found = records.find(slot.window);
        if (found == records.end()) {
            ClientRecord record;
            record.number = ++clientCounter;
            record.name = bare ? numberedName(record.number) : CWString(slot.name);
            record.numbered = bare;
            record.window = slot.window;
            record.seen = 1;
            record.width = measure(record.name);
            records.emplace(slot.window, std::move(record));
            changed = true;
            continue;
        }
        ClientRecord& record = found->second;
        record.seen = 1;
        // a title that falls back to the bare one keeps the name the client had
        if (!bare && wcscmp(record.name.c_str(), slot.name) != 0) {
            record.name.assign(slot.name);
            record.numbered = false;
            record.width = measure(record.name);
            changed = true;
        }
    }
    return changed;
}

bool sweepRecords(ClientRecords& records, HWND self) {
    bool changed = false;
    for (auto it = records.begin(); it != records.end();) {
        if (it->second.seen || it->first == self) {
            it->second.seen = 0;
            ++it;
        } else {
            it = records.erase(it);
            changed = true;
        }
    }
    return changed;
}

bool updatePlaceholder(ClientRecords& records, HWND self, bool keepOpen,
                       const MeasureCellFn& measure) {
    if (keepOpen && records.empty()) {
        ClientRecord placeholder;
        placeholder.name.assign(L"Skarvel");
        placeholder.window = self;
        placeholder.width = measure(placeholder.name);
        records.emplace(self, std::move(placeholder));
        return true;
    }
    if (keepOpen && records.size() == 1) return false;
    return records.erase(self) != 0;
}

int stripWidthOf(const ClientRecords& records, Scale scale) {
    int sum = 0;
    for (const auto& entry : records)
        sum += entry.second.width;
    return sum ? sum + 2 * scale.line(1) : 0;
}

std::vector<int> displayWidths(const ClientOrder& order, const ClientRecords& records) {
    std::vector<int> widths;
    for (const auto& entry : order)
        widths.push_back(records.at(entry).width);
    return widths;
}

std::vector<RECT> cellRects(const std::vector<int>& widths, Scale scale) {
    std::vector<RECT> cells;
    const int border = scale.line(1);
    int left = border;
    for (int width : widths) {
        cells.push_back({left, border, left + width, scale(stripHeight) - border});
        left += width - border;
    }
    return cells;
}

int cellAt(POINT point, const std::vector<int>& widths, const RECT& client, Scale scale) {
    RECT hit{client.left, client.top, client.left, client.bottom};
    for (size_t i = 0; i < widths.size(); ++i) {
        hit.right += widths[i];
        if (PtInRect(&hit, point)) return static_cast<int>(i);
        hit.left = hit.right - scale.line(1);
    }
    return -1;
}

ClientOrder displayOrder(const ClientRecords& records, const PlayerOrder& playerOrder) {
    std::map<std::wstring, size_t> rank;
    for (size_t i = 0; i < playerOrder.size(); ++i)
        rank.emplace(playerOrder[i], i);
    struct Key {
        int group; // named, the login screen's, the placeholder
        size_t rank;
        const ClientRecord* record;
    };
    std::vector<Key> keys;
    for (const auto& [window, record] : records) {
        const int group = record.number < 0 ? 2 : record.numbered ? 1 : 0;
        const auto ranked = group == 0 ? rank.find(record.name.c_str()) : rank.end();
        keys.push_back(
            {group, ranked != rank.end() ? ranked->second : playerOrder.size(), &record});
    }
    std::sort(keys.begin(), keys.end(), [](const Key& a, const Key& b) {
        if (a.group != b.group) return a.group < b.group;
        if (a.rank != b.rank) return a.rank < b.rank;
        if (a.group == 0) {
            // unit by unit, as unsigned 16-bit values
            const int byName = std::wstring_view(a.record->name.c_str())
                                   .compare(std::wstring_view(b.record->name.c_str()));
            if (byName != 0) return byName < 0;
        }
        return a.record->number < b.record->number;
    });
    ClientOrder order;
    for (const Key& key : keys)
        order.push_back(key.record->window);
    return order;
}

size_t namedCells(const ClientOrder& order, const ClientRecords& records) {
    size_t named = 0;
    while (named < order.size()) {
        const ClientRecord& record = records.at(order[named]);
        if (record.numbered || record.number < 0) break;
        ++named;
    }
    return named;
}

PlayerOrder orderAfterDrag(PlayerOrder stored, const std::vector<std::wstring>& shown,
                           size_t index) {
    auto at = [&](const std::wstring& name) {
        return std::find(stored.begin(), stored.end(), name);
    };
    for (const std::wstring& name : shown)
        if (at(name) == stored.end()) stored.push_back(name);
    if (index >= shown.size()) return stored;
    const std::wstring& dragged = shown[index];
    const auto from = at(dragged);
    const size_t was = size_t(from - stored.begin());
    stored.erase(from);
    // a namesake beside it is no neighbour: both move with the name
    auto next = std::find_if(shown.begin() + index + 1, shown.end(),
                             [&](const std::wstring& name) { return name != dragged; });
    auto previous = std::find_if(shown.rbegin() + (shown.size() - index), shown.rend(),
                                 [&](const std::wstring& name) { return name != dragged; });
    if (next != shown.end())
        stored.insert(at(*next), dragged);
    else if (previous != shown.rend())
        stored.insert(at(*previous) + 1, dragged);
    else
        stored.insert(stored.begin() + was, dragged);
    for (size_t i = stored.size(); stored.size() > maxOrderedNames && i-- > 0;)
        if (std::find(shown.begin(), shown.end(), stored[i]) == shown.end())
            stored.erase(stored.begin() + i);
    return stored;
}

bool followPassReport(ClientRecords& records, const PassReport& report) {
    bool changed = false;
    for (const HWND client : report.changed)
        if (const auto found = records.find(client); found != records.end())
            changed |= std::exchange(found->second.outOfReach, false);
    for (const RefusedClient& client : report.refused)
        if (const auto found = records.find(client.window); found != records.end())
            changed |= !std::exchange(found->second.outOfReach, true);
    return changed;
}

HWND SwitcherModel::ClientAt(POINT point, const RECT& client, Scale scale) const {
    const int index = cellAt(point, displayWidths(order, records), client, scale);
    return index < 0 ? nullptr : order[size_t(index)];
}

void SwitcherModel::Press(HWND client, int x) {
    const auto named = order.begin() + std::ptrdiff_t(namedCells(order, records));
    dragged = std::find(order.begin(), named, client) != named ? client : nullptr;
    pressX = x;
    sideways = moved = false;
}

bool SwitcherModel::DragTo(int x, int slop, Scale scale) {
    if (!dragged) return false;
    sideways = sideways || x - pressX > slop || pressX - x > slop;
    if (!sideways) return false;
    const size_t named = namedCells(order, records);
    size_t at = size_t(std::find(order.begin(), order.end(), dragged) - order.begin());
    if (at >= named) return false;
    auto middle = [](const RECT& cell) { return (cell.left + cell.right) / 2; };
    bool changed = false;
    for (;;) {
        const std::vector<RECT> cells = cellRects(displayWidths(order, records), scale);
        size_t to = at;
        if (at + 1 < named && x > middle(cells[at + 1]))
            to = at + 1;
        else if (at > 0 && x < middle(cells[at - 1]))
            to = at - 1;
        if (to == at) break;
        std::swap(order[at], order[to]);
        at = to;
        changed = moved = true;
    }
    return changed;
}

bool SwitcherModel::Release(const PlayerOrder& stored, PlayerOrder& changed) {
    // clients that went since the order was built leave it first
    std::erase_if(order, [&](HWND window) { return !records.count(window); });
    const HWND client = std::exchange(dragged, nullptr);
    if (!client || !moved) return false;
    moved = sideways = false;
    const size_t named = namedCells(order, records);
    std::vector<std::wstring> shown;
    size_t index = named;
    for (size_t i = 0; i < named; ++i) {
        if (order[i] == client) index = i;
        shown.emplace_back(records.at(order[i]).name.c_str());
    }
    if (index == named) return false; // it went meanwhile
    changed = orderAfterDrag(stored, shown, index);
    return true;
}

std::vector<SwitcherMenuEntry> switcherMenuEntries(bool opensClients, bool locked) {
    std::vector<SwitcherMenuEntry> entries;
    if (opensClients) entries.push_back({L"Open client", cmdOpenClient});
    entries.push_back({L"Set clients", cmdSetClients});
    entries.push_back({L"Restore", cmdRestore});
    entries.push_back({locked ? L"Unlock" : L"Lock", cmdLockToggle});
    entries.push_back({L"Show taskbar", cmdShowTaskbar});
    entries.push_back({L"Configure", cmdConfigure});
    entries.push_back({L"Version", cmdVersion});
    entries.push_back({L"Exit Skarvel", cmdExit});
    return entries;
}
