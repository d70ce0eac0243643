// A small HTTP client for fetching one small document: a blocking GET whose body goes into a
// stream, with time-outs, a size cap and restricted redirects so that nothing on the network can
// hold the caller for long or feed it without end. The implementation uses libcurl.
#pragma once

#include <atomic>
#include <cstddef>
#include <memory>
#include <ostream>
#include <string>

struct THttpOptions {
    long ConnectTimeoutMs = 10000;            // name lookup and connection
    long TransferTimeoutMs = 30000;           // the whole transfer, connection included
    std::size_t MaxBodyBytes = 64 * 1024;     // a longer body fails the transfer
    long MaxRedirects = 5;                    // followed only to http and https
    const std::atomic<bool>* Abort = nullptr; // when set and true, the transfer ends soon
};

class IHttpClient {
public:
    virtual ~IHttpClient() = default;

    // GETs url (http or https only) and writes the response body to body as it arrives.
    // Returns true for a complete transfer with a success status. On false, error (when given)
    // says why, and body holds whatever arrived before the failure: nothing for an HTTP error
    // status, at most MaxBodyBytes for a body that is too long. Blocks until the transfer ends,
    // fails, times out or is aborted.
    virtual bool Get(const std::string& url, std::ostream& body, std::string* error) = 0;
};

// A client over libcurl's easy interface. Safe to create on any thread; one client serves one
// thread at a time.
std::unique_ptr<IHttpClient> CreateHttpClient(const THttpOptions& options = {});
