// Builds without a window system (the minimal 32-bit Linux build): the editor commands say so and stop.
#include "host/platform/EditorWindow.h"

namespace ql::host::platform {

namespace {
constexpr const char* kNoWindows = "this qlhost was built without a window system";
}

std::unique_ptr<EditorWindow> EditorWindow::Create(const WindowRequest&, std::string& error) {
    error = kNoWindows;
    return nullptr;
}

std::string WindowSystemProblem(const std::string&) { return kNoWindows; }

WindowCounts CountWindows(const std::string&) { return {}; }

const char* CountScope() { return "nothing"; }

const char* WindowSystemName() { return ""; }

} // namespace ql::host::platform
