// Shared libraries through LoadLibraryW and GetProcAddress, for Windows; paths arrive and leave as UTF-8.
#include "host/platform/DynamicLibrary.h"

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <io.h>

#include <cstdio>
#include <limits>

namespace ql::host::platform {
namespace {

std::wstring Widen(const std::string& text) {
    if (text.empty() || text.size() > static_cast<std::size_t>(std::numeric_limits<int>::max())) return {};
    const int size = static_cast<int>(text.size());
    const int n = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), size, nullptr, 0);
    if (n <= 0) return {};
    std::wstring wide(static_cast<std::size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), size, wide.data(), n);
    return wide;
}

std::string Narrow(const wchar_t* text, std::size_t length) {
    if (length == 0 || length > static_cast<std::size_t>(std::numeric_limits<int>::max())) return {};
    const int size = static_cast<int>(length);
    const int n = WideCharToMultiByte(CP_UTF8, 0, text, size, nullptr, 0, nullptr, nullptr);
    if (n <= 0) return {};
    std::string narrow(static_cast<std::size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, size, narrow.data(), n, nullptr, nullptr);
    return narrow;
}

std::string SystemMessage(DWORD code) {
    wchar_t* buffer = nullptr;
    const DWORD n = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                       FORMAT_MESSAGE_IGNORE_INSERTS,
                                   nullptr, code, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    std::string message = n ? Narrow(buffer, n) : std::string();
    if (buffer) LocalFree(buffer);
    while (!message.empty() && (message.back() == '\n' || message.back() == '\r' || message.back() == ' ' ||
                                message.back() == '.'))
        message.pop_back();
    char code_text[32];
    std::snprintf(code_text, sizeof code_text, "error %lu", static_cast<unsigned long>(code));
    return message.empty() ? std::string(code_text) : message + " (" + code_text + ")";
}

std::wstring FullPath(const std::wstring& path) {
    const DWORD n = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    if (n == 0) return path;
    std::wstring full(n, L'\0');
    const DWORD written = GetFullPathNameW(path.c_str(), n, full.data(), nullptr);
    if (written == 0 || written >= n) return path;
    full.resize(written);
    return full;
}

bool FileExists(const std::string& path) {
    const std::wstring wide = Widen(path);
    if (wide.empty()) return false;
    const DWORD attributes = GetFileAttributesW(wide.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

class WindowsLibrary final : public DynamicLibrary {
  public:
    explicit WindowsLibrary(HMODULE module) : fModule(module) {}
    ~WindowsLibrary() override { FreeLibrary(fModule); }
    WindowsLibrary(const WindowsLibrary&) = delete;
    WindowsLibrary& operator=(const WindowsLibrary&) = delete;

    // GetProcAddress looks only at this module's own export table, so nothing from its dependencies leaks in.
    void* Symbol(const char* name) const override {
        return reinterpret_cast<void*>(GetProcAddress(fModule, name));
    }

  private:
    HMODULE fModule;
};

} // namespace

std::unique_ptr<DynamicLibrary> DynamicLibrary::Open(const std::string& path, std::string& error) {
    const std::wstring wide = Widen(path);
    if (wide.empty()) {
        error = path.empty() ? "no library path given" : "the path is not valid UTF-8";
        return nullptr;
    }
    // A relative name would make Windows search the system folders and PATH; a plug-in is always a file, and
    // an absolute path lets the altered search order find the plug-in's own DLLs in its folder.
    const std::wstring full = FullPath(wide);
    // No "cannot find DLL" dialog boxes for a command-line host; they would block an unattended run.
    DWORD previousMode = 0;
    SetThreadErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX, &previousMode);
    HMODULE module = LoadLibraryExW(full.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    const DWORD code = module ? 0 : GetLastError();
    SetThreadErrorMode(previousMode, nullptr);
    if (!module) {
        error = SystemMessage(code);
        return nullptr;
    }
    return std::make_unique<WindowsLibrary>(module);
}

const char* LibrarySuffix() { return ".dll"; }

std::string ExecutablePath() {
    std::wstring buffer(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (n == 0) return {};
        if (n < buffer.size()) return Narrow(buffer.data(), n);
        if (buffer.size() >= 32768) return {}; // the longest path Windows has
        buffer.resize(buffer.size() * 2);
    }
}

// An installed qlhost.exe sits beside Quantilaw.dll; a build keeps the DLL in bin/ (shared library) or
// lib/ (loadable module) depending on how the target is declared, so both are tried.
std::string DefaultPluginPath(const std::string& executableDir) {
    const std::string beside = executableDir + "/Quantilaw.dll";
    if (FileExists(beside)) return beside;
    const std::string built = executableDir + "/../lib/Quantilaw.dll";
    if (FileExists(built)) return built;
    return beside;
}

bool StderrIsTerminal() { return _isatty(_fileno(stderr)) != 0; }

} // namespace ql::host::platform
