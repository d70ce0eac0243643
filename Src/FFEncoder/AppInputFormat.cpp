#include "AppInputFormat.h"

#include <cstring>
#include <map>
#include <mutex>
#include <string>
#include <vector>

extern "C" {
#include <libavutil/mem.h>
#include <libavutil/opt.h>
}

namespace {

std::mutex g_tableLock;
std::vector<const TAppInputFormat*>& table() {
    static std::vector<const TAppInputFormat*> formats;
    return formats;
}

// Which descriptor opened which context: the context itself has no field for a format of ours.
std::mutex g_openLock;
std::map<const AVFormatContext*, const TAppInputFormat*>& openContexts() {
    static std::map<const AVFormatContext*, const TAppInputFormat*> contexts;
    return contexts;
}

void freePrivate(AVFormatContext* s, const TAppInputFormat* format) {
    if (s->priv_data) {
        if (format->priv_class)
            av_opt_free(s->priv_data);
        av_freep(&s->priv_data);
    }
}

} // namespace

void RegisterAppInputFormat(const TAppInputFormat* format) {
    if (!format || !format->name)
        return;
    std::lock_guard lock(g_tableLock);
    for (const TAppInputFormat* f : table())
        if (std::strcmp(f->name, format->name) == 0)
            return;
    table().push_back(format);
}

const TAppInputFormat* FindAppInputFormat(const char* name) {
    if (!name)
        return nullptr;
    std::lock_guard lock(g_tableLock);
    for (const TAppInputFormat* f : table())
        if (std::strcmp(f->name, name) == 0)
            return f;
    return nullptr;
}

int OpenAppInput(const TAppInputFormat* format, const char* url, AVDictionary** options,
                 AVFormatContext** out) {
    *out = nullptr;
    if (!format || !format->read_header || !format->read_packet)
        return AVERROR(EINVAL);

    AVFormatContext* s = avformat_alloc_context();
    if (!s)
        return AVERROR(ENOMEM);
    s->url = av_strdup(url ? url : "");
    if (!s->url) {
        avformat_free_context(s);
        return AVERROR(ENOMEM);
    }
    if (format->priv_data_size > 0) {
        s->priv_data = av_mallocz(format->priv_data_size);
        if (!s->priv_data) {
            avformat_free_context(s);
            return AVERROR(ENOMEM);
        }
        if (format->priv_class) {
            *static_cast<const AVClass**>(s->priv_data) = format->priv_class;
            av_opt_set_defaults(s->priv_data);
        }
    }

    int ret = 0;
    if (options && *options) {
        // Generic options first (they are the context's), then the private ones; both take
        // what they know out of the dictionary.
        ret = av_opt_set_dict2(s, options, 0);
        if (ret >= 0 && s->priv_data && format->priv_class)
            ret = av_opt_set_dict2(s->priv_data, options, 0);
        if (ret >= 0 && av_dict_count(*options) > 0)
            ret = AVERROR_OPTION_NOT_FOUND;
    }
    if (ret >= 0)
        ret = format->read_header(s);
    if (ret < 0) {
        freePrivate(s, format);
        avformat_free_context(s);
        return ret;
    }
    {
        std::lock_guard lock(g_openLock);
        openContexts()[s] = format;
    }
    *out = s;
    return 0;
}

const TAppInputFormat* AppInputFormatOf(const AVFormatContext* s) {
    std::lock_guard lock(g_openLock);
    auto it = openContexts().find(s);
    return it == openContexts().end() ? nullptr : it->second;
}

void CloseAppInput(AVFormatContext** ps) {
    if (!ps || !*ps)
        return;
    AVFormatContext* s = *ps;
    const TAppInputFormat* format = nullptr;
    {
        std::lock_guard lock(g_openLock);
        auto it = openContexts().find(s);
        if (it != openContexts().end()) {
            format = it->second;
            openContexts().erase(it);
        }
    }
    if (format) {
        if (format->read_close)
            format->read_close(s);
        freePrivate(s, format);
    }
    avformat_free_context(s);
    *ps = nullptr;
}
