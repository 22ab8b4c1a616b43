// Shared libraries through dlopen, for Linux and other POSIX systems.
#include "host/platform/DynamicLibrary.h"

#include <dlfcn.h>
#include <link.h>
#include <unistd.h>

#include <climits>

namespace ql::host::platform {
namespace {

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
// Under the sanitizers a library stays mapped after its last close: the system libraries a plug-in brings
// (fontconfig keeps process-wide caches that no plug-in may free, as the host may use them too) would
// otherwise go with it, their caches reported as leaks at exit and every stack through them unreadable.
// What a plug-in itself leaks is still reported.
constexpr int kKeepLoaded = RTLD_NODELETE;
#else
constexpr int kKeepLoaded = 0;
#endif

class PosixLibrary final : public DynamicLibrary {
  public:
    explicit PosixLibrary(void* handle) : fHandle(handle) {
        // The library's dynamic section lies inside its own mapping, so it tells which object is ours.
        link_map* map = nullptr;
        Dl_info info{};
        if (dlinfo(fHandle, RTLD_DI_LINKMAP, &map) == 0 && map && dladdr(map->l_ld, &info) != 0)
            fBase = info.dli_fbase;
    }
    ~PosixLibrary() override { dlclose(fHandle); }
    PosixLibrary(const PosixLibrary&) = delete;
    PosixLibrary& operator=(const PosixLibrary&) = delete;

    void* Symbol(const char* name) const override {
        void* address = dlsym(fHandle, name);
        if (!address) return nullptr;
        // dlsym also searches the libraries this one depends on; a symbol defined there is not this one's.
        Dl_info info{};
        if (fBase && (dladdr(address, &info) == 0 || info.dli_fbase != fBase)) return nullptr;
        return address;
    }

  private:
    void* fHandle;
    void* fBase = nullptr;
};

} // namespace

std::unique_ptr<DynamicLibrary> DynamicLibrary::Open(const std::string& path, std::string& error) {
    dlerror();
    // A bare name would make dlopen search the system's library folders; a plug-in is always a file path.
    std::string file = path.find('/') == std::string::npos ? "./" + path : path;
    void* handle = dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL | kKeepLoaded);
    if (!handle) {
        const char* why = dlerror();
        error = why ? why : "the library could not be loaded";
        return nullptr;
    }
    return std::make_unique<PosixLibrary>(handle);
}

const char* LibrarySuffix() { return ".so"; }

std::string ExecutablePath() {
    char buffer[PATH_MAX];
    ssize_t n = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    if (n <= 0) return {};
    return std::string(buffer, static_cast<size_t>(n));
}

std::string DefaultPluginPath(const std::string& executableDir) {
    return executableDir + "/../lib/Quantilaw.so";
}

bool StderrIsTerminal() { return isatty(STDERR_FILENO) != 0; }

} // namespace ql::host::platform
