// A resizable array of floats that the audio thread and the user-interface thread share without a lock.
#pragma once

#include <atomic>
#include <memory>

namespace ql::vst {

/// Values are read and written atomically (relaxed: each value stands alone). Resizing reallocates and is
/// only done while the module is being set up or its parameters are being described, never during audio.
class TAtomicFloats {
  public:
    int Count() const noexcept { return fCount; }
    bool Contains(int index) const noexcept { return index >= 0 && index < fCount; }

    float Get(int index) const noexcept {
        return Contains(index) ? fValues[static_cast<size_t>(index)].load(std::memory_order_relaxed) : 0.0f;
    }
    void Set(int index, float value) noexcept {
        if (Contains(index)) fValues[static_cast<size_t>(index)].store(value, std::memory_order_relaxed);
    }

    /// New entries are 0.0; existing ones keep their values.
    void Resize(int count) {
        if (count < 0) count = 0;
        if (count == fCount) return;
        auto values = std::make_unique<std::atomic<float>[]>(static_cast<size_t>(count));
        for (int i = 0; i < count; ++i)
            values[static_cast<size_t>(i)].store(i < fCount ? Get(i) : 0.0f);
        fValues = std::move(values);
        fCount = count;
    }

  private:
    std::unique_ptr<std::atomic<float>[]> fValues;
    int fCount = 0;
};

} // namespace ql::vst
