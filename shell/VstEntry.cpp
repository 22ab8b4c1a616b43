// Creating and destroying modules for hosts, and the library's start-up and shut-down.
#include "shell/VstEntry.h"

#include "runtime/FPU.h"
#include "shell/DVST1Module.h"
#include "toolkit/Application.h"

#include <mutex>

namespace ql::vst {

namespace {
/// Hosts may create and close instances from several threads at once; the application object's list of
/// components is guarded here. Never taken on the audio path.
std::recursive_mutex& ModuleListLock() {
    static std::recursive_mutex lock;
    return lock;
}
} // namespace

AEffect* CreateEffect(audioMasterCallback callback, TModuleFactory factory) noexcept {
    if (!callback || !factory) return nullptr;
    TCustomVST1Module* module = nullptr;
    try {
        {
            std::lock_guard<std::recursive_mutex> guard(ModuleListLock());
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

void LibraryStartup() {
    ModuleListLock();
    Application();
    SetStartupControlWord();
}

void LibraryShutdown() noexcept {
    try {
        std::lock_guard<std::recursive_mutex> guard(ModuleListLock());
        ShutdownApplication();
    } catch (...) {
    }
}

} // namespace ql::vst
