// One conversion task of the encoder component: its input, its output with the encoders, and
// the loop that reads, converts, encodes and writes (run on the component's worker thread).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "FFEncoder.h"

struct AVFormatContext;
struct AVCodecContext;
struct AVStream;
struct AVPacket;
struct AVFrame;
struct SwsContext;
struct SwrContext;
struct AVAudioFifo;
struct TAppInputFormat;

class TEncodeTask {
public:
    explicit TEncodeTask(int index) : FIndex(index) {}
    ~TEncodeTask();
    TEncodeTask(const TEncodeTask&) = delete;
    TEncodeTask& operator=(const TEncodeTask&) = delete;

    // On the caller's thread: opens the input. False with the reason in err.
    bool OpenInput(const std::string& url, const std::string& options, std::string& err);
    // On the caller's thread: opens the encoders, creates the file and writes its header.
    bool SetOutput(const std::string& path, const std::string& options, std::string& err);
    bool HasOutput() const { return FOut != nullptr; }
    const TDecoderInfo& Info() const { return FInfo; }
    void SetIndex(int index) { FIndex = index; }

    // On the worker: runs the conversion to its end; fills the end report.
    void Run(TFFEncoder& owner, TTerminateInfo& result);

private:
    struct TStreamOut;
    bool ReadPacket(AVPacket* pkt, int& ret);
    bool HandleVideo(AVPacket* pkt, std::string& err);
    bool HandleAudio(AVPacket* pkt, std::string& err);
    bool EncodeVideoFrame(AVFrame* frame, std::string& err); // null flushes
    bool ConvertAudio(const uint8_t* const* data, int samples, int64_t startUs, std::string& err);
    bool EncodeAudioFifo(bool flush, std::string& err);
    bool SendAudioFrame(AVFrame* frame, std::string& err); // null flushes
    bool Drain(AVCodecContext* enc, AVStream* st, std::string& err);
    bool Write(AVPacket* pkt, AVStream* st, AVCodecContext* enc, std::string& err);
    void ReportProgress(TFFEncoder& owner, bool force);
    void CloseInput();
    void CloseOutput(bool removeFile);

    int FIndex;
    TDecoderInfo FInfo;
    std::string FUrl;

    // input
    AVFormatContext* FIn = nullptr;
    const TAppInputFormat* FAppFormat = nullptr;
    int FInVideo = -1, FInAudio = -1; // stream indexes
    AVCodecContext* FVideoDec = nullptr;
    AVCodecContext* FAudioDec = nullptr;
    int64_t FT0 = INT64_MIN; // input time (us) that becomes 0 in the output

    // output
    std::string FPath;
    AVFormatContext* FOut = nullptr;
    bool FFragmented = false;
    AVCodecContext* FVideoEnc = nullptr;
    AVCodecContext* FAudioEnc = nullptr;
    AVStream* FVideoSt = nullptr;
    AVStream* FAudioSt = nullptr;
    SwsContext* FSws = nullptr;
    AVFrame* FYuv = nullptr;
    SwrContext* FSwr = nullptr;
    AVAudioFifo* FFifo = nullptr;
    AVFrame* FAudioFrame = nullptr;
    AVFrame* FDecoded = nullptr;
    AVPacket* FOutPkt = nullptr;
    int FSwrInRate = 0;
    bool FSwrStarted = false;
    int64_t FAudioNext = 0; // output sample position of the fifo's first sample
    int64_t FLastVideoPts = INT64_MIN;
    bool FWriteFailed = false;

    // progress
    int64_t FFramesWritten = 0;
    int64_t FAudioFramesWritten = 0;
    int64_t FDroppedFrames = 0;
    int64_t FDurationUs = 0;
    float FQuality = 0;
    int64_t FNextProgressUs = 0;
    int64_t FLastProgressUs = 0;
    int64_t FLastProgressFrames = 0;
    int32_t FFps = 0;
    int64_t FLastFlushUs = 0;
};

// Rewrites a finished fragmented MP4 as an ordinary one (index first) through a temporary file
// in the same folder that then replaces it; shiftUs[i] moves stream i that much earlier. False
// (the file untouched) when that fails.
bool RemuxToPlainMp4(const std::string& path, const std::vector<int64_t>& shiftUs,
                     std::string& err);
