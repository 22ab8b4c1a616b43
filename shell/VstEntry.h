// The plug-in entry point's work: creating a module for a host, destroying it on effClose, library start-up.
#pragma once

#include "shell/VstRecord.h"

#include <string>

namespace ql {
class TComponent;
}

namespace ql::vst {

class TCustomVST1Module;

/// Creates a fully constructed module owned by `owner` (CreateComponent<T>(owner)).
using TModuleFactory = TCustomVST1Module* (*)(TComponent* owner);

/// What `main` does: creates a module owned by the application object, connects it to the host and returns
/// its record; null (and no module left behind) when anything fails. Never throws. Any thread.
AEffect* CreateEffect(audioMasterCallback callback, TModuleFactory factory) noexcept;

/// Destroys a module and removes it from its owner's list, serialised with CreateEffect. Any thread.
void DestroyModule(TCustomVST1Module* module) noexcept;

/// Library start-up on the loading thread: the application object, the floating-point control word, the
/// toolkit's and the shell's classes, then `more` (the plug-in's own). Never throws: a failure is recorded
/// (StartupError) and makes every later CreateEffect return null, since a module of a library that did not
/// start cannot work. Running it again records the new outcome.
void LibraryStartup(void (*more)() = nullptr) noexcept;
/// Why the last start-up failed; empty when it succeeded or has not run.
std::string StartupError();
/// Library unload: frees the application object and every module it still owns.
void LibraryShutdown() noexcept;

} // namespace ql::vst
