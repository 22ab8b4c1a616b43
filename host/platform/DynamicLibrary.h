// What the host asks of the operating system: shared libraries and their symbols, and a few process facts.
#pragma once

#include <memory>
#include <string>

namespace ql::host::platform {

/// A loaded shared library; unloaded when the last owner lets go.
class DynamicLibrary {
  public:
    virtual ~DynamicLibrary() = default;

    /// Loads the library at path. On failure returns null and sets error to the system's explanation.
    static std::unique_ptr<DynamicLibrary> Open(const std::string& path, std::string& error);

    /// The address of an exported symbol defined by this library itself (not one found in a library it
    /// depends on or in the executable), or null.
    virtual void* Symbol(const char* name) const = 0;
};

/// The file name suffix of plug-in libraries on this platform (".so", ".dll").
const char* LibrarySuffix();

/// The full path of the running executable, or empty when it cannot be found.
std::string ExecutablePath();

/// Where a build keeps the Quantilaw plug-in relative to the folder of the qlhost executable.
std::string DefaultPluginPath(const std::string& executableDir);

/// Whether standard error goes to a terminal.
bool StderrIsTerminal();

} // namespace ql::host::platform
