// Splitting option texts in the syntax of the ffmpeg command-line tool into name/value pairs.
#pragma once

#include <string>
#include <utility>
#include <vector>

struct TOptionPair {
    std::string name; // without the leading "-"
    std::string value;
};

// Splits "-a 1 -b x" into {a,1}, {b,x}. Every option takes exactly one value. False with the
// reason in err for a text that is not a name (beginning with "-") or an option without value.
bool SplitOptionText(const std::string& text, std::vector<TOptionPair>& out, std::string& err);

// A bitrate such as "1000k", "1.5M" or "256000" in bits per second; false when malformed or
// not positive.
bool ParseBitrate(const std::string& text, long long& bitsPerSecond);

// A positive decimal integer without sign or trailing text; false otherwise.
bool ParsePositiveInt(const std::string& text, int& value);
