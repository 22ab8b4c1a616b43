// Sound files for qlhost, read and written through libsndfile as interleaved 32-bit floats.
#pragma once

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>

namespace ql::host {

class SoundFileError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

/// Any file libsndfile reads; samples come as floats scaled to -1..1 whatever the file stores.
class SoundFileReader {
  public:
    explicit SoundFileReader(const std::string& path); ///< throws SoundFileError
    ~SoundFileReader();
    SoundFileReader(const SoundFileReader&) = delete;
    SoundFileReader& operator=(const SoundFileReader&) = delete;

    int Channels() const noexcept { return fChannels; }
    double SampleRate() const noexcept { return fSampleRate; }
    std::int64_t Frames() const noexcept { return fFrames; }

    /// Reads up to frames frames into interleaved; returns how many it read (0 at the end).
    std::size_t Read(float* interleaved, std::size_t frames);

  private:
    void* fFile = nullptr;
    std::string fPath;
    int fChannels = 0;
    double fSampleRate = 0;
    std::int64_t fFrames = 0;
};

/// A WAV file of 32-bit float samples.
class SoundFileWriter {
  public:
    SoundFileWriter(const std::string& path, int channels, double sampleRate); ///< throws SoundFileError
    ~SoundFileWriter();
    SoundFileWriter(const SoundFileWriter&) = delete;
    SoundFileWriter& operator=(const SoundFileWriter&) = delete;

    void Write(const float* interleaved, std::size_t frames); ///< throws SoundFileError
    /// Finishes the file; throws SoundFileError when that fails. The destructor closes quietly.
    void Close();

  private:
    void* fFile = nullptr;
    std::string fPath;
    int fChannels;
};

} // namespace ql::host
