// Creating and destroying modules for hosts, and the library's start-up and shut-down.
#include "shell/VstEntry.h"

#include "runtime/FPU.h"
#include "shell/DVST1Module.h"
#include "shell/DVSTModule.h"
#include "toolkit/Application.h"
#include "toolkit/ExtCtrls.h"

#include <mutex>

namespace ql::vst {

namespace {
/// Hosts may create and close instances from several threads at once; the application object's list of
/// components is guarded here. Never taken on the audio path.
std::recursive_mutex& ModuleListLock() {
    static std::recursive_mutex lock;
    return lock;
}

/// Why start-up failed (guarded by ModuleListLock); empty when it did not.
std::string& StartupFailure() {
    static std::string failure;
    return failure;
}
} // namespace

AEffect* CreateEffect(audioMasterCallback callback, TModuleFactory factory) noexcept {
    if (!callback || !factory) return nullptr;
    TCustomVST1Module* module = nullptr;
    try {
        {
            std::lock_guard<std::recursive_mutex> guard(ModuleListLock());
            if (!StartupFailure().empty()) return nullptr;
            module = factory(Application());
        }
        if (!module) return nullptr;
        AEffect* effect = module->GetEffect();
        effect->user = module;
        module->SetAudioMaster(callback);
        return effect;
    } catch (...) {
        // A module the host never receives would otherwise live on until the library is unloaded.
        DestroyModule(module);
        return nullptr;
    }
}

void DestroyModule(TCustomVST1Module* module) noexcept {
    if (!module) return;
    std::lock_guard<std::recursive_mutex> guard(ModuleListLock());
    try {
        TComponent::Free(module);
    } catch (...) {
    }
}

void LibraryStartup(void (*more)()) noexcept {
    std::lock_guard<std::recursive_mutex> guard(ModuleListLock());
    std::string& failure = StartupFailure();
    failure.clear();
    // Short enough to be stored without allocating, so a failure is recorded even without memory.
    static constexpr const char* kFailed = "start-up failed";
    try {
        Application();
        SetStartupControlWord();
        RegisterToolkitClasses();
        RegisterShellClasses();
        if (more) more();
    } catch (const std::exception& e) {
        try {
            failure = *e.what() ? e.what() : kFailed;
        } catch (...) {
            failure = kFailed;
        }
    } catch (...) {
        failure = kFailed;
    }
}

std::string StartupError() {
    std::lock_guard<std::recursive_mutex> guard(ModuleListLock());
    return StartupFailure();
}

void LibraryShutdown() noexcept {
    try {
        std::lock_guard<std::recursive_mutex> guard(ModuleListLock());
        ShutdownApplication();
    } catch (...) {
    }
}

} // namespace ql::vst
