#include "util/stringutil.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <ctime>
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

int ReplaceAll(std::string& text, const std::string& pattern, const std::string& replacement)
{
    if (pattern.empty() || pattern == replacement)
        return 0;

    // Restarting at 0 after each replacement would never end when the replacement brings the
    // pattern back; then search on behind each inserted replacement instead.
    const bool reintroduces = replacement.find(pattern) != std::string::npos;

    // A replacement no shorter than the pattern can keep re-forming an occurrence out of
    // itself and its neighbours ("aab", "ab" -> "bbaa" never ends), so it gets a budget of
    // one replacement per original occurrence plus one per original byte. A shorter one
    // shrinks the text every time and needs none.
    size_t budget = std::string::npos;
    if (replacement.size() >= pattern.size()) {
        budget = text.size();
        for (size_t at = text.find(pattern); at != std::string::npos;
             at = text.find(pattern, at + 1))
            ++budget;
    }

    int count = 0;
    size_t from = 0;
    while (static_cast<size_t>(count) < budget) {
        const size_t match = text.find(pattern, from);
        if (match == std::string::npos)
            break;
        text.replace(match, pattern.size(), replacement);
        ++count;
        // Nothing before the match changed, so the leftmost new occurrence cannot start
        // earlier than a pattern's length before it: equivalent to searching from 0.
        from = reintroduces ? match + replacement.size()
                            : (match + 1 >= pattern.size() ? match + 1 - pattern.size() : 0);
    }
    return count;
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
