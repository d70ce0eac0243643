#include "HttpClient.h"

#include <curl/curl.h>

#include <mutex>

#ifndef CURL_WRITEFUNC_ERROR // libcurl before 7.87: any short count is an error
#define CURL_WRITEFUNC_ERROR 0
#endif

namespace {

// libcurl wants one global initialisation before any handle exists; it is never undone, since
// a check may still be ending on another thread while the program shuts down.
void EnsureCurlGlobalInit() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

struct TEasyDeleter {
    void operator()(CURL* handle) const { curl_easy_cleanup(handle); }
};
using TEasyHandle = std::unique_ptr<CURL, TEasyDeleter>;

struct TTransfer {
    std::ostream* body = nullptr;
    std::size_t received = 0;
    std::size_t maxBytes = 0;
    bool tooLong = false;
    const std::atomic<bool>* abort = nullptr;
    bool aborted = false;
};

size_t WriteBody(char* data, size_t size, size_t count, void* user) {
    auto* t = static_cast<TTransfer*>(user);
    const size_t bytes = size * count;
    if (bytes > t->maxBytes - t->received) {
        t->tooLong = true;
        return CURL_WRITEFUNC_ERROR;
    }
    t->body->write(data, static_cast<std::streamsize>(bytes));
    if (!*t->body) {
        return CURL_WRITEFUNC_ERROR;
    }
    t->received += bytes;
    return bytes;
}

int TransferProgress(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
    auto* t = static_cast<TTransfer*>(user);
    if (t->abort && t->abort->load(std::memory_order_relaxed)) {
        t->aborted = true;
        return 1; // non-zero ends the transfer with CURLE_ABORTED_BY_CALLBACK
    }
    return 0;
}

class TCurlHttpClient final : public IHttpClient {
public:
    explicit TCurlHttpClient(const THttpOptions& options) : FOptions(options) {
        EnsureCurlGlobalInit();
    }

    bool Get(const std::string& url, std::ostream& body, std::string* error) override {
        auto fail = [error](const std::string& why) {
            if (error) {
                *error = why;
            }
            return false;
        };
        TEasyHandle handle(curl_easy_init());
        if (!handle) {
            return fail("curl_easy_init failed");
        }
        TTransfer transfer;
        transfer.body = &body;
        transfer.maxBytes = FOptions.MaxBodyBytes;
        transfer.abort = FOptions.Abort;
        if (transfer.abort && transfer.abort->load()) {
            return fail("aborted");
        }

        char errorBuffer[CURL_ERROR_SIZE] = {};
        CURL* h = handle.get();
        bool ok = true;
        auto set = [&ok](CURLcode rc) { ok = ok && rc == CURLE_OK; };
        set(curl_easy_setopt(h, CURLOPT_URL, url.c_str()));
        set(curl_easy_setopt(h, CURLOPT_ERRORBUFFER, errorBuffer));
        set(curl_easy_setopt(h, CURLOPT_HTTPGET, 1L));
        // The transfer runs on a worker thread: no signals for time-outs.
        set(curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L));
#if LIBCURL_VERSION_NUM >= 0x075500 // 7.85
        set(curl_easy_setopt(h, CURLOPT_PROTOCOLS_STR, "http,https"));
        set(curl_easy_setopt(h, CURLOPT_REDIR_PROTOCOLS_STR, "http,https"));
#else
        set(curl_easy_setopt(h, CURLOPT_PROTOCOLS, long(CURLPROTO_HTTP | CURLPROTO_HTTPS)));
        set(curl_easy_setopt(h, CURLOPT_REDIR_PROTOCOLS, long(CURLPROTO_HTTP | CURLPROTO_HTTPS)));
#endif
        set(curl_easy_setopt(h, CURLOPT_FOLLOWLOCATION, FOptions.MaxRedirects > 0 ? 1L : 0L));
        set(curl_easy_setopt(h, CURLOPT_MAXREDIRS, FOptions.MaxRedirects));
        set(curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT_MS, FOptions.ConnectTimeoutMs));
        set(curl_easy_setopt(h, CURLOPT_TIMEOUT_MS, FOptions.TransferTimeoutMs));
        // An error status is a failure, and its page is not taken for the document.
        set(curl_easy_setopt(h, CURLOPT_FAILONERROR, 1L));
        // A declared length over the cap fails before anything is written.
        set(curl_easy_setopt(h, CURLOPT_MAXFILESIZE_LARGE, curl_off_t(FOptions.MaxBodyBytes)));
        set(curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, WriteBody));
        set(curl_easy_setopt(h, CURLOPT_WRITEDATA, &transfer));
        set(curl_easy_setopt(h, CURLOPT_NOPROGRESS, 0L));
        set(curl_easy_setopt(h, CURLOPT_XFERINFOFUNCTION, TransferProgress));
        set(curl_easy_setopt(h, CURLOPT_XFERINFODATA, &transfer));
        if (!ok) {
            return fail("setting up the transfer failed");
        }

        const CURLcode rc = curl_easy_perform(h);
        if (transfer.aborted) {
            return fail("aborted");
        }
        if (transfer.tooLong || rc == CURLE_FILESIZE_EXCEEDED) {
            return fail("the response is longer than " + std::to_string(FOptions.MaxBodyBytes) +
                        " bytes");
        }
        if (rc != CURLE_OK) {
            return fail(errorBuffer[0] ? errorBuffer : curl_easy_strerror(rc));
        }
        body.flush();
        if (!body) {
            return fail("writing the response failed");
        }
        return true;
    }

private:
    THttpOptions FOptions;
};

} // namespace

std::unique_ptr<IHttpClient> CreateHttpClient(const THttpOptions& options) {
    return std::make_unique<TCurlHttpClient>(options);
}
