// Option parsing and plug-in lookup for the qlhost commands.
#include "host/CommandLine.h"

#include "host/platform/DynamicLibrary.h"

#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

#ifndef QL_DEFAULT_PLUGIN
#define QL_DEFAULT_PLUGIN ""
#endif

namespace ql::host::cli {
namespace fs = std::filesystem;

bool ParsedArgs::Has(const std::string& name) const {
    for (const auto& [n, v] : options)
        if (n == name) return true;
    return false;
}

std::optional<std::string> ParsedArgs::Last(const std::string& name) const {
    std::optional<std::string> out;
    for (const auto& [n, v] : options)
        if (n == name) out = v;
    return out;
}

std::vector<std::string> ParsedArgs::All(const std::string& name) const {
    std::vector<std::string> out;
    for (const auto& [n, v] : options)
        if (n == name) out.push_back(v);
    return out;
}

ParsedArgs Parse(const std::vector<std::string>& args, const std::vector<OptionRule>& rules) {
    ParsedArgs out;
    bool optionsEnded = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (optionsEnded || a.size() < 2 || a[0] != '-' || a == "-") {
            out.positional.push_back(a);
            continue;
        }
        if (a == "--") {
            optionsEnded = true;
            continue;
        }
        std::string body = a.substr(a[1] == '-' ? 2 : 1);
        std::optional<std::string> inlineValue;
        if (auto eq = body.find('='); eq != std::string::npos) {
            inlineValue = body.substr(eq + 1);
            body.resize(eq);
        }
        const OptionRule* rule = nullptr;
        for (const auto& s : rules)
            if (body == s.name) rule = &s;
        if (!rule) throw UsageError("unknown option " + a);
        if (!rule->takesValue) {
            if (inlineValue) throw UsageError("--" + body + " takes no value");
            out.options.emplace_back(body, "");
        } else if (inlineValue) {
            out.options.emplace_back(body, *inlineValue);
        } else {
            if (i + 1 >= args.size()) throw UsageError("--" + body + " needs a value");
            out.options.emplace_back(body, args[++i]);
        }
    }
    return out;
}

long ParseInt(const std::string& text, const std::string& what, long min, long max) {
    errno = 0;
    char* end = nullptr;
    long v = std::strtol(text.c_str(), &end, 10);
    if (text.empty() || *end != '\0' || errno == ERANGE || v < min || v > max)
        throw UsageError(what + " must be a whole number from " + std::to_string(min) + " to " +
                         std::to_string(max) + ", not '" + text + "'");
    return v;
}

double ParseNumber(const std::string& text, const std::string& what) {
    errno = 0;
    char* end = nullptr;
    double v = std::strtod(text.c_str(), &end);
    if (text.empty() || *end != '\0' || errno == ERANGE || !std::isfinite(v))
        throw UsageError(what + " must be a number, not '" + text + "'");
    return v;
}

std::pair<int, std::string> ParseIndexed(const std::string& text, const std::string& option) {
    auto eq = text.find('=');
    if (eq == std::string::npos) throw UsageError("--" + option + " takes INDEX=VALUE, not '" + text + "'");
    int index =
        static_cast<int>(ParseInt(text.substr(0, eq), "the parameter index of --" + option, 0, 1 << 20));
    return {index, text.substr(eq + 1)};
}

bool LooksLikePlugin(const std::string& argument) {
    fs::path p(argument);
    std::string ext = p.extension().string();
    for (char& c : ext)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (ext == ".so" || ext == ".dll" || ext == ".dylib") return true;
    std::error_code ec;
    if (!fs::is_regular_file(p, ec)) return false;
    // Only a file that really is a shared library is taken; a sound file fails to load and stays an input.
    std::string error;
    return platform::DynamicLibrary::Open(argument, error) != nullptr;
}

std::string DefaultPluginPath() {
    std::string exe = platform::ExecutablePath();
    std::string beside;
    if (!exe.empty()) {
        beside = platform::DefaultPluginPath(fs::path(exe).parent_path().string());
        std::error_code ec;
        if (fs::exists(beside, ec)) return fs::path(beside).lexically_normal().string();
    }
    std::string built = QL_DEFAULT_PLUGIN;
    std::error_code ec;
    if (!built.empty() && fs::exists(built, ec)) return built;
    return beside.empty() ? built : fs::path(beside).lexically_normal().string();
}

std::string TakePluginPath(std::vector<std::string>& positional) {
    if (!positional.empty() && LooksLikePlugin(positional.front())) {
        std::string path = positional.front();
        positional.erase(positional.begin());
        return path;
    }
    return DefaultPluginPath();
}

bool StderrIsTerminal() { return platform::StderrIsTerminal(); }

} // namespace ql::host::cli
