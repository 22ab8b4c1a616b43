// The host side of the callback contract: what qlhost answers when a plug-in asks, and the record it keeps.
#pragma once

#include "host/RequestLog.h"
#include "host/VstHostAbi.h"

#include <array>
#include <atomic>
#include <string>

namespace ql::host {

/// Answers a plug-in's requests as a real host does and logs each one. Several plug-in instances may share
/// one Host. The answers that audio-thread requests read (sample rate, block size, time, tempo) are plain
/// settings: change them only while the plug-in is not processing.
class Host {
  public:
    static constexpr vst::IntPtr kVersion = 2400;
    static constexpr double kTempo = 120.0;

    Host();
    virtual ~Host();
    Host(const Host&) = delete;
    Host& operator=(const Host&) = delete;

    /// The callback handed to a plug-in's entry point. It finds the Host that loaded the calling plug-in.
    static vst::IntPtr QL_VSTCALL Callback(vst::AEffect* effect, vst::Int32 opcode, vst::Int32 index,
                                           vst::IntPtr value, void* ptr, float opt);

    /// Logs a request and answers it (an override set with SetReply wins over the usual answer).
    vst::IntPtr Handle(vst::AEffect* effect, vst::Int32 opcode, vst::Int32 index, vst::IntPtr value,
                       void* ptr, float opt) noexcept;

    /// From now on answer this opcode with reply, whatever it asks (to play a broken or odd host).
    void SetReply(vst::Int32 opcode, vst::IntPtr reply);
    void ClearReplies();

    const RequestLog& Log() const noexcept { return fLog; }
    RequestLog& Log() noexcept { return fLog; }

    void SetSampleRate(double rate) noexcept;
    double SampleRate() const noexcept { return fTime.sampleRate; }
    void SetBlockSize(vst::Int32 frames) noexcept { fBlockSize = frames; }
    vst::Int32 BlockSize() const noexcept { return fBlockSize; }

    /// Moves the transport on after a block of frames was processed.
    void AdvanceTime(vst::Int32 frames) noexcept;
    void SetPlaying(bool playing) noexcept;
    const vst::VstTimeInfo& TimeInfo() const noexcept { return fTime; }

    /// The host's own identity as it tells plug-ins.
    static constexpr const char* kVendor = "Quantilaw";
    static constexpr const char* kProduct = "qlhost";
    static constexpr vst::IntPtr kVendorVersion = 1;

    /// The answer to audioMasterCanDo: 1 for what this host does, -1 for known texts it does not, else 0.
    static vst::IntPtr CanDo(const char* text) noexcept;

    /// Tells the callback which Host answers requests from effect (Plugin does this after the entry point
    /// returns); requests with an unknown or null effect go to the Host of the entry point call under way on
    /// the calling thread, else to the one most recently registered.
    static void Register(const vst::AEffect* effect, Host* host) noexcept;
    static void Unregister(const vst::AEffect* effect) noexcept;

    /// Marks the Host whose plug-in entry point the calling thread is about to call (null when done).
    static void SetLoading(Host* host) noexcept;

  protected:
    /// The usual answer to a request; a subclass may change it.
    virtual vst::IntPtr Answer(vst::AEffect* effect, vst::Int32 opcode, vst::Int32 index, vst::IntPtr value,
                               void* ptr, float opt) noexcept;

  private:
    RequestLog fLog;
    vst::VstTimeInfo fTime{};
    vst::Int32 fBlockSize = 1024;
    std::array<std::atomic<bool>, vst::kHostOpcodeCount> fOverridden{};
    std::array<std::atomic<vst::IntPtr>, vst::kHostOpcodeCount> fReplies{};
};

} // namespace ql::host
