// Helpers for the capture device's tests: log capture and opening the device through the table.
#pragma once

#include <gtest/gtest.h>

#include <cstdarg>
#include <cstdio>
#include <filesystem>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "AppInputFormat.h"
#include "GDICapture.h"

extern "C" {
#include <libavutil/log.h>
}

struct TLogLine {
    int level;
    std::string text;
};

// Collects every line logged through av_log while it lives. The device's threads may log while
// a capture is installed or removed, so the current capture and its lines are guarded by one
// lock that the callback takes too.
class TLogCapture {
public:
    TLogCapture() {
        {
            std::lock_guard lock(guard());
            instance() = this;
        }
        av_log_set_callback(&TLogCapture::callback);
    }
    ~TLogCapture() {
        av_log_set_callback(av_log_default_callback);
        std::lock_guard lock(guard());
        instance() = nullptr;
    }
    std::vector<TLogLine> lines() {
        std::lock_guard lock(guard());
        return FLines;
    }
    // The texts logged at exactly `level`.
    std::vector<std::string> at(int level) {
        std::vector<std::string> out;
        for (auto& l : lines())
            if (l.level == level)
                out.push_back(l.text);
        return out;
    }
    bool contains(const std::string& text) {
        for (auto& l : lines())
            if (l.text.find(text) != std::string::npos)
                return true;
        return false;
    }
    void clear() {
        std::lock_guard lock(guard());
        FLines.clear();
    }

private:
    static std::mutex& guard() {
        static std::mutex m;
        return m;
    }
    static TLogCapture*& instance() {
        static TLogCapture* p = nullptr;
        return p;
    }
    static void callback(void*, int level, const char* fmt, va_list vl) {
        char buf[2048];
        std::vsnprintf(buf, sizeof(buf), fmt, vl);
        std::lock_guard lock(guard());
        if (TLogCapture* self = instance())
            self->FLines.push_back({level, buf});
    }
    std::vector<TLogLine> FLines;
};

inline int OpenDevice(const std::string& url, const std::map<std::string, std::string>& options,
                      AVFormatContext** ctx) {
    register_gdicapture();
    AVDictionary* dict = nullptr;
    for (auto& [k, v] : options)
        av_dict_set(&dict, k.c_str(), v.c_str(), 0);
    int ret = OpenAppInput(FindAppInputFormat("gdicapture"), url.c_str(), &dict, ctx);
    av_dict_free(&dict);
    return ret;
}

inline Tgdi_capture* Priv(AVFormatContext* s) {
    return static_cast<Tgdi_capture*>(s->priv_data);
}

inline int ReadPacket(AVFormatContext* s, AVPacket* pkt) {
    return gdicapture_format.read_packet(s, pkt);
}

inline int CountEntries(const char* dir) {
    int n = 0;
    for (auto& e : std::filesystem::directory_iterator(dir)) {
        (void)e;
        ++n;
    }
    return n;
}
