// Input formats of the application's own, opened by name like libavformat's demuxers.
//
// libavformat 59 and later let no application register a demuxer. A device of ours keeps the
// shape of one (a const descriptor with an option class and read_header / read_packet /
// read_close entries) and enters it into this table; the encoder looks a "-f NAME" up here
// before it asks libavformat.
//
// OpenAppInput gives read_header exactly what libavformat would: a format context from
// avformat_alloc_context whose url is the URL, the private record allocated zero-filled with its
// class pointer first, option defaults applied, then the caller's generic options (rtbufsize and
// the like, on the context) and private options. read_close runs once after a successful
// read_header (CloseAppInput) and never after a failed one.
#pragma once

extern "C" {
#include <libavformat/avformat.h>
#include <libavutil/dict.h>
}

struct TAppInputFormat {
    const char* name;
    const char* long_name;
    int flags; // AVFMT_* flags, e.g. AVFMT_NOFILE
    const AVClass* priv_class;
    int priv_data_size;
    int (*read_header)(AVFormatContext* s);
    // Returns the packet size, AVERROR(EAGAIN) when nothing is ready, or a negative AVERROR.
    int (*read_packet)(AVFormatContext* s, AVPacket* pkt);
    int (*read_close)(AVFormatContext* s);
};

// Enters the format into the table; a format of the same name already there is kept.
// Thread-safe.
void RegisterAppInputFormat(const TAppInputFormat* format);

// The registered format of that name, or null. Thread-safe.
const TAppInputFormat* FindAppInputFormat(const char* name);

// Opens an input of the format. Options that the context or the private record know are taken
// out of *options; whatever is left there is unknown to both and makes the open fail with
// AVERROR_OPTION_NOT_FOUND (the caller may name the leftovers). On success *out owns the
// context; on failure *out is null and nothing is left behind.
int OpenAppInput(const TAppInputFormat* format, const char* url, AVDictionary** options,
                 AVFormatContext** out);

// The format an open context was opened with, or null when the context is not ours.
const TAppInputFormat* AppInputFormatOf(const AVFormatContext* s);

// Calls read_close, frees the private record and the context, and clears *s. Safe on null.
void CloseAppInput(AVFormatContext** s);
