// What the settings benchmarks share: the generated settings text, its keys, and the baseline
// import that does the least work with the same bytes (split into lines, trim key and value at
// the first '=', insert into a std::map).
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <string_view>

namespace settings_bench {

// A text of just under 1 MiB (the file limit) holds this many lines.
inline constexpr std::size_t kFullLines = 23000;
inline constexpr std::size_t kFullBytes = 0x100000 - 1;

inline std::string keyOf(std::size_t i) {
    return "section" + std::to_string(i % 37) + ".option_" + std::to_string(i);
}

// The line count of a text of `bytes` bytes, in proportion to the full text.
inline std::size_t linesFor(std::int64_t bytes) {
    return static_cast<std::size_t>(kFullLines * static_cast<double>(bytes) / (kFullBytes + 1));
}

// About `lines` lines totalling just under `bytes`: integers, booleans, doubles and folder
// texts in turn (line i is of kind i % 4), padded so that the size grows with the line count.
inline std::string settingsText(std::size_t lines, std::size_t bytes) {
    std::string text;
    text.reserve(bytes);
    for (std::size_t i = 0; i < lines; ++i) {
        std::string line = keyOf(i) + " = ";
        switch (i % 4) {
            case 0:
                line += std::to_string(i * 7);
                break;
            case 1:
                line += (i % 3) ? "true" : "no";
                break;
            case 2:
                line += std::to_string(i) + ".25";
                break;
            default:
                line += "C:\\Program Files\\Corvid\\c" + std::to_string(i);
                break;
        }
        // Spread the remaining bytes evenly over the remaining lines.
        const std::size_t target = (bytes - text.size()) / (lines - i);
        if (i % 4 == 3 && line.size() + 1 < target)
            line.append(target - line.size() - 1, 'x');
        else if (i % 4 != 3 && line.size() + 1 < target)
            line.append(target - line.size() - 1, ' ');
        line += '\n';
        if (text.size() + line.size() > bytes) break;
        text += line;
    }
    return text;
}

// The text for a size argument of a power of two: one byte less, so that it stays below the
// file limit at 1 MiB.
inline std::string settingsTextOfSize(std::int64_t size) {
    return settingsText(linesFor(size), static_cast<std::size_t>(size) - 1);
}

inline std::string_view trimBlanks(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
    return s;
}

// The baseline import: lines split at '\n', key and value trimmed at the first '=', the last
// line of a key winning.
inline std::map<std::string, std::string> baselineImport(std::string_view text) {
    std::map<std::string, std::string> entries;
    std::string_view rest = text;
    while (!rest.empty()) {
        const std::size_t end = rest.find('\n');
        const std::string_view line = rest.substr(0, end);
        rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
        const std::size_t separator = line.find('=');
        if (separator == std::string_view::npos) continue;
        entries.insert_or_assign(std::string(trimBlanks(line.substr(0, separator))),
                                 std::string(trimBlanks(line.substr(separator + 1))));
    }
    return entries;
}

}  // namespace settings_bench
