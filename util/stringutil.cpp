#include "util/stringutil.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <limits>
#include <set>

void SplitString(std::vector<std::string>& pieces, const std::string& text,
                 const char* delimiter, bool unique)
{
    pieces.clear();
    const std::string separator = delimiter ? delimiter : "";
    std::set<std::string> seen;

    auto keep = [&](std::string piece) {
        piece = TrimString(piece);
        if (unique) {
            if (piece.empty() || !seen.insert(piece).second)
                return;
        }
        pieces.push_back(std::move(piece));
    };

    // An empty delimiter would match everywhere without moving on: take the text whole.
    if (separator.empty()) {
        keep(text);
        return;
    }

    const std::string work = text + separator;
    size_t position = 0;
    while (position < work.size()) {
        const size_t match = work.find(separator, position);
        if (match == std::string::npos)
            break;
        keep(work.substr(position, match - position));
        position = match + separator.size();
    }
}

std::string TrimString(const std::string& text)
{
    const size_t end = text.find_last_not_of(" \t");
    if (end == std::string::npos)
        return std::string();
    const size_t begin = text.find_first_not_of(' ');
    return text.substr(begin, end + 1 - begin);
}

namespace {

// Bytes that replacements may insert beyond one replacement per occurrence of the original
// text. A replacement can keep re-forming the pattern with its neighbours ("aab", "ab" ->
// "bbaa" never ends); no caller's text comes anywhere near this.
constexpr size_t kFeedbackBytes = 64u << 10;

// The restart rule without restarting: everything left of the leftmost occurrence is free of
// the pattern, so the text is scanned once, each replacement is put back in front of the
// unscanned rest, and the leftmost occurrence is the first place where the scanned part ends
// in the pattern. Stops after limit replacements; returns how many were made.
size_t ReplaceLeftmostRepeatedly(std::string& text, const std::string& pattern,
                                 const std::string& replacement, size_t limit)
{
    std::string scanned;
    scanned.reserve(text.size());
    std::string rest(text.rbegin(), text.rend()); // reversed: the next byte is at the back
    size_t count = 0;
    while (!rest.empty() && count < limit) {
        scanned.push_back(rest.back());
        rest.pop_back();
        if (scanned.size() >= pattern.size() && scanned.back() == pattern.back()
            && scanned.compare(scanned.size() - pattern.size(), pattern.size(), pattern) == 0) {
            scanned.resize(scanned.size() - pattern.size());
            rest.append(replacement.rbegin(), replacement.rend());
            ++count;
        }
    }
    text = scanned;
    text.append(rest.rbegin(), rest.rend());
    return count;
}

} // namespace

int ReplaceAll(std::string& text, const std::string& pattern, const std::string& replacement)
{
    if (pattern.empty() || pattern == replacement)
        return 0;

    // Restarting at 0 after each replacement would never end when the replacement brings the
    // pattern back; then search on behind each inserted replacement instead.
    if (replacement.find(pattern) != std::string::npos) {
        int count = 0;
        for (size_t match = text.find(pattern); match != std::string::npos;
             match = text.find(pattern, match + replacement.size())) {
            text.replace(match, pattern.size(), replacement);
            ++count;
        }
        return count;
    }

    // A shorter replacement shrinks the text every time and needs no limit.
    size_t limit = std::numeric_limits<int>::max();
    if (replacement.size() >= pattern.size()) {
        size_t occurrences = 0;
        for (size_t at = text.find(pattern); at != std::string::npos;
             at = text.find(pattern, at + 1))
            ++occurrences;
        limit = std::min(limit, occurrences + kFeedbackBytes / replacement.size());
    }
    return static_cast<int>(ReplaceLeftmostRepeatedly(text, pattern, replacement, limit));
}

std::string MakeTimeToken(bool withRandom)
{
    srand(static_cast<unsigned>(time(nullptr)));
    const int draw = rand() % 500;
    const int seconds = static_cast<int>(time(nullptr));

    char buffer[1024] = {};
    if (withRandom)
        FormatText(buffer, sizeof buffer, "%d%d", seconds, draw + 100);
    else
        FormatText(buffer, sizeof buffer, "%d", seconds);
    return buffer;
}

int FormatText(char* buffer, size_t size, const char* format, ...)
{
    if (!buffer || size == 0)
        return -1;

    va_list arguments;
    va_start(arguments, format);
    const int written = vsnprintf(buffer, size, format, arguments);
    va_end(arguments);

    if (written < 0 || static_cast<size_t>(written) >= size) {
        buffer[0] = '\0';
        return -1;
    }
    return written;
}
