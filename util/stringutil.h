#pragma once

#include <cstddef>
#include <string>
#include <vector>

// Byte-string helpers shared by the page fetcher and the lookup worker. Every byte is an
// ordinary byte: no encoding is assumed, CR and LF are not special, comparisons are exact.

// Cuts text at each occurrence of delimiter into trimmed pieces (replacing what pieces held).
// With unique set, empty pieces and repeats are skipped; the first occurrence keeps its place.
void SplitString(std::vector<std::string>& pieces, const std::string& text,
                 const char* delimiter, bool unique);

// Strips spaces and tabs from the end, then spaces (not tabs) from the start.
std::string TrimString(const std::string& text);

// Replaces every occurrence of pattern, searching again from the start after each
// replacement; returns the number of replacements. Where that would never end, it ends all
// the same: a replacement holding the pattern is not searched again, and replacements that
// keep re-forming it stop once they have inserted 64 KiB.
int ReplaceAll(std::string& text, const std::string& pattern, const std::string& replacement);

// Current time in seconds, followed with withRandom by a three-digit number from 100 to 599.
std::string MakeTimeToken(bool withRandom);

// printf into buffer, never writing more than size bytes; on overflow the buffer holds an
// empty text and the result is -1.
int FormatText(char* buffer, size_t size, const char* format, ...)
#if defined(__GNUC__) || defined(__clang__)
    __attribute__((format(printf, 3, 4)))
#endif
    ;
