// What every qlhost command shares: option parsing, number parsing, and finding the plug-in to load.
#pragma once

#include <optional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace ql::host::cli {

/// A mistake in the command line; qlhost prints it with the command's usage and exits with status 2.
class UsageError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

struct OptionRule {
    const char* name; ///< without the leading dashes
    bool takesValue;
};

/// A command line split into positional arguments and options (`--name value` or `--name=value`).
struct ParsedArgs {
    std::vector<std::string> positional;
    std::vector<std::pair<std::string, std::string>> options; ///< in the order given

    bool Has(const std::string& name) const;
    std::optional<std::string> Last(const std::string& name) const;
    std::vector<std::string> All(const std::string& name) const;
};

/// Throws UsageError for an unknown option or a missing value; "--" ends the options.
ParsedArgs Parse(const std::vector<std::string>& args, const std::vector<OptionRule>& rules);

long ParseInt(const std::string& text, const std::string& what, long min, long max);
double ParseNumber(const std::string& text, const std::string& what);
/// Splits "INDEX=VALUE" at the first '='.
std::pair<int, std::string> ParseIndexed(const std::string& text, const std::string& option);

/// Whether an argument names a plug-in: a path ending in a shared-library suffix, or an existing file that
/// the system loads as a shared library.
bool LooksLikePlugin(const std::string& argument);

/// The Quantilaw plug-in of this build: beside the executable as a build lays it out, else where the build
/// that made this qlhost put it.
std::string DefaultPluginPath();

/// Takes the plug-in path off the front of the positional arguments when one is there, else the default.
std::string TakePluginPath(std::vector<std::string>& positional);

/// Whether standard error is a terminal (for progress output).
bool StderrIsTerminal();

} // namespace ql::host::cli
