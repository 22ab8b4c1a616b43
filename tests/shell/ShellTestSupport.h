// Test doubles for the module layers: a recording host callback, a module with a copying handler, a fake
// form.
#pragma once

#include "runtime/Exceptions.h"
#include "shell/DVST2Module.h"
#include "shell/DVSTModule.h"

#include <algorithm>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace ql::vst::testing {

struct TRequest {
    int32_t opcode;
    int32_t index;
    intptr_t value;
    void* ptr;
    float opt;
};

/// A host callback that records every request and answers version, tempo and a few others.
class TRecordingHost {
  public:
    TRecordingHost() { Current() = this; }
    ~TRecordingHost() { Current() = nullptr; }

    static intptr_t QL_VSTCALL Callback(AEffect*, int32_t opcode, int32_t index, intptr_t value, void* ptr,
                                        float opt) {
        TRecordingHost* host = Current();
        if (!host) return 0;
        std::lock_guard<std::mutex> guard(host->lock);
        host->requests.push_back({opcode, index, value, ptr, opt});
        switch (opcode) {
        case audioMasterVersion:
            return host->version;
        case audioMasterTempoAt:
            return host->tempo;
        case audioMasterProcessEvents:
            return 1;
        default:
            return host->otherReply;
        }
    }

    std::vector<TRequest> Of(int32_t opcode) {
        std::lock_guard<std::mutex> guard(lock);
        std::vector<TRequest> out;
        for (const auto& r : requests)
            if (r.opcode == opcode) out.push_back(r);
        return out;
    }
    void Clear() {
        std::lock_guard<std::mutex> guard(lock);
        requests.clear();
    }

    intptr_t version = 2400;
    intptr_t tempo = 1200000;
    intptr_t otherReply = 0;
    std::mutex lock;
    std::vector<TRequest> requests;

  private:
    static TRecordingHost*& Current() {
        static TRecordingHost* current = nullptr;
        return current;
    }
};

/// A module built in code instead of from a stored description: one parameter (0..1 unless set), one
/// program, a handler that copies its inputs and remembers what each call saw.
class TTestModule : public TCustomVST2Module {
  public:
    TTestModule() : TCustomVST2Module(nullptr) {}

    void AddParameter(float min = 0.0f, float max = 1.0f, float smoothing = 1.0f) {
        auto* p = static_cast<TCustomVstParameterProperty*>(ParameterProperties()->Add());
        p->SetMin(min);
        p->SetMax(max);
        p->SetSmoothingFactor(smoothing);
    }
    void AddProgram(const std::string& name) {
        static_cast<TCustomVstProgram*>(Programs()->Add())->SetDisplayName(name);
    }
    /// The end of loading, as reading a stored description would run it.
    void FinishLoading() { Loaded(); }

    void Copy(float* const* inputs, float* const* outputs, int32_t frames) {
        calls.emplace_back(inputs[0], inputs[0] + frames);
        for (int32_t c = 0; c < std::min(numInputs(), numOutputs()); ++c)
            for (int32_t i = 0; i < frames; ++i)
                outputs[c][i] = inputs[c][i];
    }
    TProcessAudioEvent CopyHandler() { return TProcessAudioEvent::Of<&TTestModule::Copy>(this); }

    /// Copies like Copy without remembering anything, so it allocates nothing itself.
    void Pass(float* const* inputs, float* const* outputs, int32_t frames) {
        for (int32_t c = 0; c < std::min(numInputs(), numOutputs()); ++c)
            for (int32_t i = 0; i < frames; ++i)
                outputs[c][i] = inputs[c][i];
    }
    TProcessAudioEvent PassHandler() { return TProcessAudioEvent::Of<&TTestModule::Pass>(this); }

    std::vector<std::vector<float>> calls;
};

struct TFree {
    void operator()(TComponent* c) const { TComponent::Free(c); }
};
template <class T>
using TOwned = std::unique_ptr<T, TFree>;

inline TOwned<TTestModule> NewTestModule() { return TOwned<TTestModule>(CreateComponent<TTestModule>()); }

/// A form that only remembers what the module asked of it.
class TFakeForm : public IEditorForm {
  public:
    explicit TFakeForm(int* destroyed = nullptr) : fDestroyed(destroyed) {}
    /// A parent no window system knows makes the toolkit raise; `foreign` stands for one.
    void SetParentWindow(void* p) override {
        if (p == foreign) throw EInvalidOperation("Error creating window");
        parent = p;
    }
    void Show() override { shown = true; }
    void SetBorderStyleNone() override { borderless = true; }
    int Width() const override { return 611; }
    int Height() const override { return 226; }
    void SetBounds(int l, int t, int w, int h) override { bounds = {l, t, w, h}; }
    int ClientWidth() const override { return 611; }
    int ClientHeight() const override { return 226; }
    void Invalidate() override { ++invalidated; }
    void Destroy() override {
        if (fDestroyed) ++*fDestroyed;
        delete this;
    }

    void* parent = nullptr;
    void* foreign = nullptr;
    bool shown = false, borderless = false;
    std::vector<int> bounds;
    int invalidated = 0;

  private:
    int* fDestroyed;
};

} // namespace ql::vst::testing
