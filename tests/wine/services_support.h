#pragma once
// Small file helpers for the service tests, made with plain Windows calls
// (not the services under test).

#include <windows.h>

#include <string>

namespace svc {

inline bool Exists(const std::string& path)
{
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

inline DWORD Attributes(const std::string& path)
{
    return GetFileAttributesA(path.c_str());
}

// Creates the directory and every missing one on the way.
inline void MakePath(const std::string& path)
{
    for (size_t i = 3; i <= path.size(); i++) {
        if (i == path.size() || path[i] == '\\')
            CreateDirectoryA(path.substr(0, i).c_str(), NULL);
    }
}

inline bool PutFile(const std::string& path, const std::string& content, DWORD attributes = 0)
{
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    DWORD written = 0;
    BOOL ok =
        content.empty() || WriteFile(file, content.data(), (DWORD)content.size(), &written, NULL);
    CloseHandle(file);
    if (attributes != 0)
        SetFileAttributesA(path.c_str(), attributes);
    return ok && written == content.size();
}

// The whole content, or "<missing>" when the file cannot be opened.
inline std::string ReadWhole(const std::string& path)
{
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL,
                              OPEN_EXISTING, 0, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return "<missing>";
    std::string content(GetFileSize(file, NULL), '\0');
    DWORD read = 0;
    if (!content.empty())
        ReadFile(file, &content[0], (DWORD)content.size(), &read, NULL);
    CloseHandle(file);
    content.resize(read);
    return content;
}

inline std::string CurrentDirectory()
{
    char buffer[MAX_PATH * 2] = "";
    GetCurrentDirectoryA(sizeof buffer, buffer);
    return buffer;
}

// A helper program of the build, as a Windows path (Z: maps /).
inline std::string ProgramPath(const char* name)
{
    std::string path = std::string("Z:") + TEST_PROGRAMS_DIR + "/" + name + ".exe";
    for (char& c : path) {
        if (c == '/')
            c = '\\';
    }
    return path;
}

}  // namespace svc
