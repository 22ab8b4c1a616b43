// Without fork every test runs in the validator's own process; a crash of the plug-in ends the run.
#include "host/validate/Isolation.h"

#include <cstdlib>

namespace ql::host::validate {

bool IsolationAvailable() { return false; }

void SetEnvironment(const char* name, const char* value) { _putenv_s(name, value ? value : ""); }

Outcome RunContained(const std::function<void(Outcome&)>& body, bool, double) { return RunHere(body); }

} // namespace ql::host::validate
