// The program's owned UTF-16 text: always NUL-terminated, deep-copied.
#pragma once
#include <cstdint>

class CWString {
  public:
    CWString();
    CWString(const wchar_t* text);
    CWString(const CWString& other);
    CWString(CWString&& other) noexcept;
    CWString& operator=(const CWString& other);
    CWString& operator=(CWString&& other) noexcept;
    ~CWString();

    // New buffer of n units (at least 1); the text is cut to n - 1 units, never lengthened.
    void resize(int n);
    void assign(const wchar_t* text);
    void append(const wchar_t* text);
    void appendNumber(int32_t value);
    // ASCII a-z become A-Z; every other unit stays as it is.
    CWString upperCopy() const;
    // Keeps the last n characters when 0 <= n < length().
    void keepLast(int n);
    int length() const;

    const wchar_t* c_str() const { return buffer; }
    int capacityUnits() const { return capacity; }

  private:
    wchar_t* buffer;
    int capacity;
};
