// The seam that keeps a crashing plug-in from taking the validator with it: one implementation per platform.
#pragma once

#include "host/validate/Battery.h"

#include <functional>

namespace ql::host::validate {

/// Runs body and returns what it found. With isolate, and where the platform has child processes, body runs
/// in one: a signal that ends it, an exit without a result, or a run past timeoutSeconds becomes a failure.
/// Elsewhere body runs in this process. An exception escaping body is a failure either way.
Outcome RunContained(const std::function<void(Outcome&)>& body, bool isolate, double timeoutSeconds);

/// Runs body here, turning an escaping exception into a failure.
Outcome RunHere(const std::function<void(Outcome&)>& body);

/// Sets an environment variable of this process, or removes it when value is null (the one other process
/// service the battery needs, and it differs by platform too).
void SetEnvironment(const char* name, const char* value);

} // namespace ql::host::validate
