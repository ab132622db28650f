// What the Windows side's files share: text between the game's UTF-8 and
// Windows' wide characters, so that every folder name works, not only
// those of the system's code page.
#pragma once
#include <windows.h>

#include <string>

inline std::wstring widened(const std::string& utf8) {
    int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring wide(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), wide.data(), n);
    return wide;
}

// UTF-8, with '/' between folders as the game's paths have.
inline std::string narrowed(const std::wstring& wide) {
    int n = WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0,
                                nullptr, nullptr);
    std::string utf8(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), utf8.data(), n,
                        nullptr, nullptr);
    for (char& c : utf8)
        if (c == '\\') c = '/';
    return utf8;
}
