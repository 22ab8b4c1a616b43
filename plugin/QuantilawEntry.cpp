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

/// The plug-in's own start-up steps, after the framework's: the image layer's compressors and classes, then
/// the module class with its stored descriptions.
void PluginStartup() {
    ql::RegisterStandardCompressors();
    ql::RegisterDIBClasses();
    ql::quantilaw::RegisterQuantilawClasses();
    // Class information built now outlives this object, so modules still open at unload can be freed.
    ql::vst::TCustomVstParameterProperty::StaticClass();
    ql::vst::TCustomVstProgram::StaticClass();
}

/// Runs once when the library is mapped, on the loading thread, and again in reverse when it is unmapped. A
/// start-up that fails is recorded, and the entry points then return null.
struct TLibraryLifetime {
    TLibraryLifetime() { ql::vst::LibraryStartup(&PluginStartup); }
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
