// The workload a leak checker watches: instances opened, played and closed over and over.
#include "host/validate/Battery.h"
#include "host/validate/Checks.h"

namespace ql::host::validate {

void RunLeakCycles(const std::string& pluginPath, int cycles) {
    auto host = std::make_shared<Host>();
    auto library = PluginLibrary::Load(pluginPath);
    std::mt19937_64 rng(1);
    for (int cycle = 0; cycle < cycles; ++cycle) {
        auto plugin = Plugin::Create(library, host);
        plugin->Open();
        StartSession(*plugin, 48000.0f, 512);
        GuardedAudio audio(static_cast<std::size_t>(plugin->NumInputs()),
                           static_cast<std::size_t>(plugin->NumOutputs()), 512, false);
        for (int block = 0; block < 16; ++block) {
            FillSignal(audio, Signal::Noise, rng, static_cast<std::uint64_t>(block) * 512);
            if (plugin->Effect().processReplacing)
                plugin->ProcessReplacing(audio.InPointers(), audio.OutPointers(), 512);
            if (plugin->Effect().process) plugin->Process(audio.InPointers(), audio.OutPointers(), 512);
            for (vst::Int32 i = 0; i < WalkedParams(*plugin); ++i)
                plugin->SetParameter(i, 0.5f);
        }
        if (plugin->NumParams() > 0) (void)plugin->ParamDisplay(0);
        StopSession(*plugin);
        plugin->Close();
    }
}

} // namespace ql::host::validate
