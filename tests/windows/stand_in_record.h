#pragma once
// Each call to a stand-in of a screen reader's API is a line ("speakText
// Rain follows...") appended to the file TALLOWICK_STAND_IN_RECORD names,
// there as soon as the call returns, for tests/windows/screen_readers.
#include <windows.h>

#include <string>

inline void record_call(const char* call, const wchar_t* text = nullptr) {
    std::string line = call;
    if (int n = text ? WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr) : 0;
        n > 1) {
        std::string utf8(n, '\0');
        WideCharToMultiByte(CP_UTF8, 0, text, -1, utf8.data(), n, nullptr, nullptr);
        utf8.resize(n - 1);
        // One line a call: a piece's own line end is no part of what is said.
        while (!utf8.empty() && (utf8.back() == '\n' || utf8.back() == '\r'))
            utf8.pop_back();
        for (char& c : utf8)
            if (c == '\n' || c == '\r')
                c = ' ';
        line += ' ' + utf8;
    }
    line += '\n';
    wchar_t file[MAX_PATH];
    HANDLE out = GetEnvironmentVariableW(L"TALLOWICK_STAND_IN_RECORD", file, MAX_PATH)
                     ? CreateFileW(file, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                   nullptr, OPEN_ALWAYS, 0, nullptr)
                     : INVALID_HANDLE_VALUE;
    if (out == INVALID_HANDLE_VALUE)
        return;
    DWORD written = 0;
    WriteFile(out, line.data(), line.size(), &written, nullptr);
    CloseHandle(out);
}
