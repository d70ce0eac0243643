#include "OptionText.h"

#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <sstream>

bool SplitOptionText(const std::string& text, std::vector<TOptionPair>& out, std::string& err) {
    out.clear();
    std::istringstream in(text);
    std::vector<std::string> tokens;
    for (std::string t; in >> t;)
        tokens.push_back(t);
    for (std::size_t i = 0; i < tokens.size(); i += 2) {
        const std::string& name = tokens[i];
        if (name.size() < 2 || name[0] != '-') {
            err = "Unexpected \"" + name +
                  "\" in the options: an option name beginning with "
                  "\"-\" was expected";
            return false;
        }
        if (i + 1 >= tokens.size()) {
            err = "Missing argument for option \"" + name + "\"";
            return false;
        }
        out.push_back({name.substr(1), tokens[i + 1]});
    }
    return true;
}

bool ParseBitrate(const std::string& text, long long& bitsPerSecond) {
    if (text.empty())
        return false;
    errno = 0;
    char* end = nullptr;
    const double v = std::strtod(text.c_str(), &end);
    if (errno || end == text.c_str())
        return false;
    double scale = 1;
    if (*end == 'k' || *end == 'K') {
        scale = 1e3;
        ++end;
    } else if (*end == 'M') {
        scale = 1e6;
        ++end;
    }
    if (*end != '\0' || !std::isfinite(v) || v * scale < 1 || v * scale > 1e10)
        return false;
    bitsPerSecond = std::llround(v * scale);
    return true;
}

bool ParsePositiveInt(const std::string& text, int& value) {
    if (text.empty() || text[0] < '0' || text[0] > '9')
        return false;
    errno = 0;
    char* end = nullptr;
    const long v = std::strtol(text.c_str(), &end, 10);
    if (errno || *end != '\0' || v <= 0 || v > INT_MAX)
        return false;
    value = static_cast<int>(v);
    return true;
}
