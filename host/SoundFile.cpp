// libsndfile behind the reader and writer qlhost uses.
#include "host/SoundFile.h"

#include <sndfile.h>

#include <cmath>

namespace ql::host {

SoundFileReader::SoundFileReader(const std::string& path) : fPath(path) {
    SF_INFO info{};
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
    if (!file) throw SoundFileError("cannot read " + path + ": " + sf_strerror(nullptr));
    if (info.channels < 1 || info.samplerate < 1) {
        sf_close(file);
        throw SoundFileError(path + " has no channels or no sample rate");
    }
    fFile = file;
    fChannels = info.channels;
    fSampleRate = info.samplerate;
    fFrames = info.frames;
}

SoundFileReader::~SoundFileReader() {
    if (fFile) sf_close(static_cast<SNDFILE*>(fFile));
}

std::size_t SoundFileReader::Read(float* interleaved, std::size_t frames) {
    sf_count_t n = sf_readf_float(static_cast<SNDFILE*>(fFile), interleaved, static_cast<sf_count_t>(frames));
    return n > 0 ? static_cast<std::size_t>(n) : 0;
}

SoundFileWriter::SoundFileWriter(const std::string& path, int channels, double sampleRate)
    : fPath(path), fChannels(channels) {
    SF_INFO info{};
    info.channels = channels;
    info.samplerate = static_cast<int>(std::lround(sampleRate));
    info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
    if (channels < 1 || info.samplerate < 1 || !sf_format_check(&info))
        throw SoundFileError("cannot write " + path + ": " + std::to_string(channels) + " channels at " +
                             std::to_string(info.samplerate) + " Hz is not a WAV format");
    SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
    if (!file) throw SoundFileError("cannot write " + path + ": " + sf_strerror(nullptr));
    fFile = file;
}

SoundFileWriter::~SoundFileWriter() {
    if (fFile) sf_close(static_cast<SNDFILE*>(fFile));
}

void SoundFileWriter::Write(const float* interleaved, std::size_t frames) {
    sf_count_t n =
        sf_writef_float(static_cast<SNDFILE*>(fFile), interleaved, static_cast<sf_count_t>(frames));
    if (n != static_cast<sf_count_t>(frames))
        throw SoundFileError("cannot write " + fPath + ": " + sf_strerror(static_cast<SNDFILE*>(fFile)));
}

void SoundFileWriter::Close() {
    if (!fFile) return;
    int status = sf_close(static_cast<SNDFILE*>(fFile));
    fFile = nullptr;
    if (status != 0) throw SoundFileError("cannot finish " + fPath + ": " + sf_error_number(status));
}

} // namespace ql::host
