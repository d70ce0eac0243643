// Helpers of the encoder and recording tests: a known moving picture, a fake capture input of
// the application's own table, and reading back what a recording holds.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// BGRA picture number k of a moving pattern: smooth colour gradients with a travelling wave and,
// when the picture is at least 256 pixels wide, k as 16 black/white blocks of 16x16 pixels
// along its top.
std::vector<uint8_t> PatternFrame(int width, int height, int k);
// The number read back from the blocks of a decoded picture (BGRA, same size), or -1.
int PatternNumber(const std::vector<uint8_t>& bgra, int width, int height);
// Peak signal to noise ratio of two BGRA pictures over their colour channels, in dB.
double Psnr(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b);

// Registers "kvc_fake", an input of the application's table. URL "video", "audio" or
// "video+audio". Options: video_size, framerate, sample_rate, channels, buffer_samples,
// duration (seconds; 0 = endless), realtime (1: packets at their wall time, else as fast as
// read), drift (the sound clock's error, 0.005 = 0.5 % fast), audio_gap_at / audio_gap (a stretch
// of seconds in which no sound arrives), fail_after (seconds, then EIO), duplicate (1: every
// frame twice, 1 us apart). Sound: a quiet 440 Hz tone with a loud 5 ms click at every whole
// second of true time. Sound packets are stamped with the time of their first sample, as the
// capture device does; one is due when its last sample has arrived.
void RegisterFakeInput();

struct TMediaInfo {
    bool ok = false;
    std::string error;
    std::string formatName;
    double durationS = 0;
    // video
    std::string videoCodec;
    int width = 0, height = 0;
    int frames = 0;
    double firstVideoS = 0, lastVideoEndS = 0;
    std::vector<uint8_t> firstFrame; // BGRA
    std::vector<int> numbers;        // PatternNumber of every frame (when wanted)
    // audio
    std::string audioCodec;
    int sampleRate = 0, channels = 0;
    double firstAudioS = 0, audioEndS = 0;
    std::vector<float> mono; // decoded sound, first channel, from firstAudioS
};

// Reads a media file completely (decoding everything) with libavformat.
TMediaInfo ReadMedia(const std::string& path, bool wantNumbers = false);

// Onsets (seconds from the start of `mono`) of the clicks: the first sample above the
// threshold after at least 0.3 s below it.
std::vector<double> ClickOnsets(const std::vector<float>& mono, int sampleRate,
                                float threshold = 0.55f);
// The strongest of the given frequencies in the sound (Goertzel), for a tone check.
double TonePower(const std::vector<float>& mono, int sampleRate, double frequency);
// Whether the file has a top-level box of that type ("moof", "moov", "mdat" ...), and the
// order of the top-level boxes.
std::vector<std::string> TopLevelBoxes(const std::string& path);
