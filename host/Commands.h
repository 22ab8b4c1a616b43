// The qlhost commands: one source file each, all with the same shape.
#pragma once

#include <string>
#include <vector>

namespace ql::host::cli {

struct Command {
    const char* name;
    const char* summary; ///< one line for the command list
    const char* usage;   ///< the command's own help
    int (*run)(
        const std::vector<std::string>& args); ///< args after the command name; returns the exit status
};

int RunInfo(const std::vector<std::string>& args);
int RunProcess(const std::vector<std::string>& args);
int RunValidate(const std::vector<std::string>& args);
int RunBench(const std::vector<std::string>& args);
int RunEditor(const std::vector<std::string>& args);

extern const char* const kInfoUsage;
extern const char* const kProcessUsage;
extern const char* const kValidateUsage;
extern const char* const kBenchUsage;
extern const char* const kEditorUsage;

} // namespace ql::host::cli
