#include "mp3_encoder.h"

#include <lame.h>

#include <algorithm>
#include <cstdio>
#include <memory>

namespace soundtrack {
namespace {

struct LameCloser {
    void operator()(lame_global_flags* flags) const { lame_close(flags); }
};
struct FileCloser {
    void operator()(FILE* file) const { std::fclose(file); }
};

bool Fail(std::string* error, const std::string& reason) {
    if (error) {
        *error = reason;
    }
    return false;
}

// The frames LAME is handed at a time; its output buffer needs 1.25 x samples + 7200 bytes.
constexpr int kChunkFrames = 8192;

}  // namespace

bool EncodeMp3(const std::vector<std::int16_t>& interleavedStereo, const std::string& path,
               const Mp3Settings& settings, std::string* error) {
    std::unique_ptr<lame_global_flags, LameCloser> lame(lame_init());
    if (!lame) {
        return Fail(error, "LAME could not start");
    }
    lame_set_num_channels(lame.get(), 2);
    lame_set_in_samplerate(lame.get(), settings.sampleRate);
    lame_set_out_samplerate(lame.get(), settings.sampleRate);
    lame_set_mode(lame.get(), JOINT_STEREO);
    lame_set_brate(lame.get(), settings.kbps);
    lame_set_VBR(lame.get(), vbr_off);
    lame_set_quality(lame.get(), settings.quality);
    lame_set_bWriteVbrTag(lame.get(), 1);
    // No ID3 tags: nothing in the file that is not the music and its LAME tag.
    lame_set_write_id3tag_automatic(lame.get(), 0);
    if (lame_init_params(lame.get()) < 0) {
        return Fail(error, "LAME rejected the encoding settings");
    }

    const std::string temporary = path + ".part";
    std::unique_ptr<FILE, FileCloser> out(std::fopen(temporary.c_str(), "wb+"));
    if (!out) {
        return Fail(error, "cannot write " + temporary);
    }
    std::vector<unsigned char> mp3(static_cast<size_t>(kChunkFrames * 2 * 5 / 4 + 7200));
    const size_t frames = interleavedStereo.size() / 2;
    bool written = true;
    for (size_t done = 0; done < frames && written; done += kChunkFrames) {
        const size_t count = std::min<size_t>(kChunkFrames, frames - done);
        const int bytes = lame_encode_buffer_interleaved(
            lame.get(), const_cast<short*>(interleavedStereo.data() + done * 2),
            static_cast<int>(count), mp3.data(), static_cast<int>(mp3.size()));
        written = bytes >= 0 && std::fwrite(mp3.data(), 1, static_cast<size_t>(bytes), out.get()) ==
                                    static_cast<size_t>(bytes);
    }
    if (written) {
        const int bytes = lame_encode_flush(lame.get(), mp3.data(), static_cast<int>(mp3.size()));
        written = bytes >= 0 && std::fwrite(mp3.data(), 1, static_cast<size_t>(bytes), out.get()) ==
                                    static_cast<size_t>(bytes);
    }
    if (written) {
        // Fills in the tag frame that the encoder left at the start of the file.
        lame_mp3_tags_fid(lame.get(), out.get());
        written = std::fflush(out.get()) == 0 && !std::ferror(out.get());
    }
    const bool closed = std::fclose(out.release()) == 0;
    if (!written || !closed) {
        std::remove(temporary.c_str());
        return Fail(error, "cannot write " + temporary);
    }
    if (std::rename(temporary.c_str(), path.c_str()) != 0) {
        std::remove(temporary.c_str());
        return Fail(error, "cannot rename " + temporary + " to " + path);
    }
    return true;
}

}  // namespace soundtrack
