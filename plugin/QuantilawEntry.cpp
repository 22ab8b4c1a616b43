// The library's exported entry points and its start-up and shut-down.
#include "dibcontrols/cDIBSettings.h"
#include "dibcontrols/cDIBStandardCompressors.h"
#include "plugin/QuantilawModule.h"
#include "shell/VstEntry.h"
#include "shell/VstParameters.h"
#include "shell/VstPrograms.h"

#define QL_EXPORT __attribute__((visibility("default")))

using ql::vst::AEffect;
using ql::vst::audioMasterCallback;

namespace {

/// Runs once when the library is mapped, on the loading thread, and again in reverse when it is unmapped.
struct TLibraryLifetime {
    TLibraryLifetime() {
        try {
            ql::vst::LibraryStartup();
            ql::RegisterStandardCompressors();
            ql::RegisterDIBClasses();
            ql::quantilaw::RegisterResources();
            // Class information built now outlives this object, so modules still open at unload can be freed.
            ql::quantilaw::TVST2Module1::StaticClass();
            ql::vst::TCustomVstParameterProperty::StaticClass();
            ql::vst::TCustomVstProgram::StaticClass();
        } catch (...) {
        }
    }
    ~TLibraryLifetime() {
        ql::vst::LibraryShutdown();
        ql::UnregisterStandardCompressors();
    }
};

TLibraryLifetime gLifetime;

AEffect* Entry(audioMasterCallback callback) noexcept {
    return ql::vst::CreateEffect(callback, &ql::quantilaw::CreateQuantilawModule);
}

} // namespace

/// The entry point Linux hosts look for first.
extern "C" QL_EXPORT AEffect* VSTPluginMain(audioMasterCallback callback) { return Entry(callback); }

/// The traditional entry point, exported under the name `main`; C++ reserves that name for the program's own
/// main, so the symbol is named through the assembler.
extern "C" QL_EXPORT AEffect* QuantilawMain(audioMasterCallback callback) __asm__("main");
extern "C" AEffect* QuantilawMain(audioMasterCallback callback) { return Entry(callback); }
