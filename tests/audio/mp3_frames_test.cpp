// The Windows back end's MP3 frame scanner, natively, on headers and files made here.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "mp3_frames.h"

// A file held in memory, the HANDLE the scanner is given.
struct MemoryFile {
    std::string bytes;
    LONGLONG at = 0;
};

BOOL SetFilePointerEx(HANDLE file, LARGE_INTEGER distance, LARGE_INTEGER*, DWORD) {
    static_cast<MemoryFile*>(file)->at = distance.QuadPart;
    return distance.QuadPart >= 0;
}

BOOL ReadFile(HANDLE file, LPVOID data, DWORD size, DWORD* got, void*) {
    auto* f = static_cast<MemoryFile*>(file);
    const LONGLONG left = std::max<LONGLONG>(0, static_cast<LONGLONG>(f->bytes.size()) - f->at);
    *got = static_cast<DWORD>(std::min<LONGLONG>(size, left));
    std::memcpy(data, f->bytes.data() + f->at, *got);
    f->at += *got;
    return TRUE;
}

BOOL GetFileSizeEx(HANDLE file, LARGE_INTEGER* size) {
    size->QuadPart = static_cast<LONGLONG>(static_cast<MemoryFile*>(file)->bytes.size());
    return TRUE;
}

namespace {

using bass_windows::FrameHeader;

// Layer III's bit rates (kbit/s, indices 1 to 14) and sample rates (indices 0 to 2), by the
// header's version bits: 3 MPEG-1, 2 MPEG-2, 0 MPEG-2.5.
const int kKbps1[14] = {32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320};
const int kKbps2[14] = {8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160};
const struct {
    int version;
    const int* kbps;
    int rates[3];
    int samples;  // a frame's
} kVersions[] = {{3, kKbps1, {44100, 48000, 32000}, 1152},
                 {2, kKbps2, {22050, 24000, 16000}, 576},
                 {0, kKbps2, {11025, 12000, 8000}, 576}};

// The four header bytes: sync, version, Layer III, no CRC unless asked; stereo unless `mode` 3.
std::string Header(int version, int bitrateIndex, int rateIndex, int padding = 0, int mode = 0,
                   int layer = 1, int emphasis = 0, bool crc = false) {
    return {'\xFF', static_cast<char>(0xE0 | version << 3 | layer << 1 | (crc ? 0 : 1)),
            static_cast<char>(bitrateIndex << 4 | rateIndex << 2 | padding << 1),
            static_cast<char>(mode << 6 | emphasis)};
}

bool Parse(const std::string& bytes, FrameHeader* header) {
    return bass_windows::ParseFrameHeader(reinterpret_cast<const std::uint8_t*>(bytes.data()),
                                          header);
}

// Every bit rate at every sample rate, with and without padding: a frame holds `samples` samples
// at the bit rate, in whole bytes, plus the padding byte. Worked by hand: 128 kbit/s at 44.1 kHz
// is 1152 / 8 x 128000 / 44100 = 417.96, so 417 bytes; 320 kbit/s at 32 kHz is 1440 (1441 padded,
// the largest frame); 8 kbit/s at 8 kHz is 576 / 8 x 8000 / 8000 = 72; 160 at 8 kHz, 1440.
TEST(Mp3Frames, EveryBitRateAndSampleRateOfEachVersion) {
    for (const auto& v : kVersions) {
        for (int rate = 0; rate < 3; ++rate) {
            for (int index = 1; index <= 14; ++index) {
                for (int padding : {0, 1}) {
                    SCOPED_TRACE(testing::Message() << v.version << " " << rate << " " << index);
                    FrameHeader h{};
                    ASSERT_TRUE(Parse(Header(v.version, index, rate, padding), &h));
                    const int bps = v.kbps[index - 1] * 1000;
                    EXPECT_EQ(h.version, v.version);
                    EXPECT_EQ(h.sampleRate, static_cast<DWORD>(v.rates[rate]));
                    EXPECT_EQ(h.bitrate, static_cast<DWORD>(bps));
                    const auto unpadded = static_cast<DWORD>(v.samples / 8 * bps / v.rates[rate]);
                    EXPECT_EQ(h.unpaddedSize, unpadded);
                    EXPECT_EQ(h.size, unpadded + static_cast<DWORD>(padding));
                    EXPECT_LE(h.size, bass_windows::kMaxFrameBytes);
                }
            }
        }
    }
    const struct {
        std::string header;
        DWORD size;
    } byHand[] = {{Header(3, 9, 0), 417},
                  {Header(3, 14, 2, 1), 1441},
                  {Header(0, 1, 2), 72},
                  {Header(0, 14, 2), 1440},
                  {Header(2, 8, 1, 1), 193}};
    for (const auto& c : byHand) {
        FrameHeader h{};
        EXPECT_TRUE(Parse(c.header, &h));
        EXPECT_EQ(h.size, c.size);
    }
}

TEST(Mp3Frames, ChannelsAndCrcFromTheHeaderAndWhatIsRefused) {
    FrameHeader h{};
    for (int mode = 0; mode < 4; ++mode) {
        ASSERT_TRUE(Parse(Header(3, 9, 0, 0, mode, 1, 0, mode == 1), &h));
        EXPECT_EQ(h.channels, mode == 3 ? 1 : 2) << mode;
        EXPECT_EQ(h.crc, mode == 1) << mode;
    }
    const struct {
        const char* what;
        std::string header;
    } refused[] = {
        {"free format", Header(3, 0, 0)},
        {"free format, MPEG-2", Header(2, 0, 1)},
        {"bit rate index 15", Header(3, 15, 0)},
        {"reserved version", Header(1, 9, 0)},
        {"Layer II", Header(3, 9, 0, 0, 0, 2)},
        {"Layer I", Header(3, 9, 0, 0, 0, 3)},
        {"reserved layer", Header(3, 9, 0, 0, 0, 0)},
        {"reserved sample rate", Header(3, 9, 3)},
        {"reserved emphasis", Header(3, 9, 0, 0, 0, 1, 2)},
        {"no sync", std::string("\xFF\x1B\x90\x00", 4)},
        {"a tag", std::string("ID3\x03", 4)},
    };
    for (const auto& c : refused)
        EXPECT_FALSE(Parse(c.header, &h)) << c.what;
}

// `count` frames: each its header and silence (zero bytes), `size` bytes in all.
std::string Frames(int count, const std::string& header) {
    FrameHeader h{};
    EXPECT_TRUE(Parse(header, &h));
    std::string out;
    for (int i = 0; i < count; ++i)
        out += header + std::string(h.size - 4, '\0');
    return out;
}

// An ID3v2 tag with a body of `body` bytes (its size in 7-bit bytes), and a footer if asked.
std::string Id3v2(size_t body, bool footer = false) {
    std::string size;
    for (int shift : {21, 14, 7, 0})
        size += static_cast<char>(body >> shift & 0x7F);
    const std::string tag = std::string("ID3\x04\x00", 5) + (footer ? '\x10' : '\0') + size;
    return tag + std::string(body, 'x') + (footer ? std::string("3DI\x04\x00\x10", 6) + size : "");
}

TEST(Mp3Frames, WhereTheSoundStartsAndHowManyFramesAreRead) {
    const std::string h = Header(3, 9, 0), other = Header(2, 8, 1);
    const size_t size = Frames(1, h).size();  // 417
    const std::string id3v1 = "TAG" + std::string(125, ' ');
    const std::string body = Frames(10, h);
    std::string freeFormat;  // 128 kbit/s at 44.1 kHz, the rate left unsaid
    for (int i = 0; i < 10; ++i)
        freeFormat += Header(3, 0, 0) + std::string(size - 4, '\0');
    // The encoder's info frame: "Info" after MPEG-1 stereo's 32 bytes of side information.
    const std::string info = Frames(1, h).replace(4 + 32, 4, "Info");
    const std::string damage = std::string(300, '\x55') + std::string("\xFF\xFB\x90", 3);
    const struct {
        const char* what;
        std::string file;
        long long start;  // -1: refused
        int frames;       // what the reader yields from the start
    } cases[] = {
        {"bare frames", body, 0, 10},
        {"an ID3v2 tag first", Id3v2(1000) + body, 1010, 10},
        // The second tag is longer than the search for a frame: it must be skipped as a tag.
        {"two ID3v2 tags, one with a footer", Id3v2(200, true) + Id3v2(70000) + body, 220 + 70010,
         10},
        {"a tag of 2 MiB, its size's top byte used", Id3v2(3 << 21) + body, (3 << 21) + 10, 10},
        {"an ID3v1 tag last", body + id3v1, 0, 10},
        {"an ID3v2 tag last", body + Id3v2(500), 0, 10},
        {"an info frame", info + body, static_cast<long long>(size), 10},
        {"junk before", std::string(333, '\0') + body, 333, 10},
        {"damage between frames", Frames(4, h) + damage + Frames(6, h), 0, 10},
        {"the last frame cut off", body.substr(0, body.size() - 100), 0, 9},
        {"two frames, then the end", Frames(2, h), 0, 2},
        {"one frame of another stream in the chain", Frames(1, h) + Frames(1, other) + Frames(8, h),
         static_cast<long long>(size + Frames(1, other).size()), 8},
        {"free format frames", freeFormat, -1, 0},
        {"only tags", Id3v2(100) + id3v1, -1, 0},
        {"empty", "", -1, 0},
        {"text", std::string(5000, 'a'), -1, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        MemoryFile file{c.file};
        bass_windows::Stream stream{};
        const bool found = bass_windows::ProbeFile(&file, &stream);
        ASSERT_EQ(found, c.start >= 0);
        if (!found)
            continue;
        EXPECT_EQ(stream.dataStart, c.start);
        bass_windows::FrameReader reader(&file, stream.dataStart, stream.format);
        int frames = 0;
        const std::uint8_t* frame = nullptr;
        DWORD frameSize = 0;
        while (reader.Next(&frame, &frameSize)) {
            EXPECT_EQ(frameSize, size) << "frame " << frames;
            EXPECT_EQ(frame[0], 0xFF);
            ++frames;
        }
        EXPECT_EQ(frames, c.frames);
        reader.Rewind();
        EXPECT_TRUE(reader.Next(&frame, &frameSize)) << "rewound";
    }
}

}  // namespace
