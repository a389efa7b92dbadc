#include "core/wstring.h"

#include <cstring>
#include <cwchar>
#include <utility>

namespace {

wchar_t* allocateZeroed(int units) {
    return new wchar_t[static_cast<size_t>(units)]();
}

int textLength(const wchar_t* text) {
    return text ? static_cast<int>(wcslen(text)) : 0;
}

} // namespace

CWString::CWString() : buffer(allocateZeroed(1)), capacity(1) {}

CWString::CWString(const wchar_t* text) : CWString() {
    assign(text);
}

CWString::CWString(const CWString& other) : CWString() {
    assign(other.buffer);
}

CWString::CWString(CWString&& other) noexcept : CWString() {
    std::swap(buffer, other.buffer);
    std::swap(capacity, other.capacity);
}

CWString& CWString::operator=(const CWString& other) {
    if (this != &other) assign(other.buffer);
    return *this;
}

CWString& CWString::operator=(CWString&& other) noexcept {
    std::swap(buffer, other.buffer);
    std::swap(capacity, other.capacity);
    return *this;
}

CWString::~CWString() {
    delete[] buffer;
}

void CWString::resize(int n) {
    if (n < 1) n = 1;
    wchar_t* fresh = allocateZeroed(n);
    const int kept = length() < n - 1 ? length() : n - 1;
    wmemcpy(fresh, buffer, static_cast<size_t>(kept));
    delete[] buffer;
    buffer = fresh;
    capacity = n;
}

void CWString::assign(const wchar_t* text) {
    // text may point into this buffer, so copy before freeing it
    const int n = textLength(text);
    wchar_t* fresh = allocateZeroed(n + 1);
    wmemcpy(fresh, text ? text : L"", static_cast<size_t>(n));
    delete[] buffer;
    buffer = fresh;
    capacity = n + 1;
}

void CWString::append(const wchar_t* text) {
    const int oldLength = length();
    const int added = textLength(text);
    wchar_t* fresh = allocateZeroed(oldLength + added + 1);
    wmemcpy(fresh, buffer, static_cast<size_t>(oldLength));
    if (added) wmemcpy(fresh + oldLength, text, static_cast<size_t>(added));
    delete[] buffer;
    buffer = fresh;
    capacity = oldLength + added + 1;
}

void CWString::appendNumber(int32_t value) {
    // unsigned magnitude, so the most negative value needs no negation of its own
    uint32_t magnitude =
        value < 0 ? 0u - static_cast<uint32_t>(value) : static_cast<uint32_t>(value);
    wchar_t digits[12];
    int at = 11;
    digits[at] = L'\0';
    do {
        digits[--at] = static_cast<wchar_t>(L'0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude);
    if (value < 0) digits[--at] = L'-';
    append(digits + at);
}

CWString CWString::upperCopy() const {
    CWString copy(*this);
    for (wchar_t* c = copy.buffer; *c; ++c)
        if (*c >= L'a' && *c <= L'z') *c = static_cast<wchar_t>(*c - L'a' + L'A');
    return copy;
}

void CWString::keepLast(int n) {
    const int len = length();
    if (n < 0 || n >= len) return;
    wmemmove(buffer, buffer + (len - n), static_cast<size_t>(n));
    buffer[n] = L'\0';
}

int CWString::length() const {
    return static_cast<int>(wcslen(buffer));
}
