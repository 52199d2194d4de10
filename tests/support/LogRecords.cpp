#include "LogRecords.h"

#include <cctype>
#include <charconv>

namespace cdk_test {

namespace {

bool isDigit(char c) { return std::isdigit(static_cast<unsigned char>(c)) != 0; }

// True when a record header begins at `pos`: "[" and four digits and "/".
bool headerStartsAt(std::string_view text, size_t pos) {
    if (pos + 6 > text.size() || text[pos] != '[' || text[pos + 5] != '/') {
        return false;
    }
    for (size_t i = pos + 1; i < pos + 5; ++i) {
        if (!isDigit(text[i])) {
            return false;
        }
    }
    return true;
}

// Removes the "\r" of every "\r\n", undoing the text mode of Windows.
std::string withoutCarriageReturns(std::string_view text) {
    std::string result;
    result.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (!(text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')) {
            result.push_back(text[i]);
        }
    }
    return result;
}

// Reads a decimal number that fills `text` entirely.
bool parseNumber(std::string_view text, unsigned long& value) {
    const char* end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, value);
    return !text.empty() && error == std::errc() && stop == end;
}

// Takes what lies before `delimiter` out of `rest`, dropping the delimiter too.
bool take(std::string_view& rest, std::string_view delimiter, std::string_view& field) {
    const size_t at = rest.find(delimiter);
    if (at == std::string_view::npos) {
        return false;
    }
    field = rest.substr(0, at);
    rest.remove_prefix(at + delimiter.size());
    return true;
}

// "[time, program (PID: n, TID: n), file:line (function)]"
bool parseHeader(std::string_view header, LogRecord& record) {
    constexpr size_t kTimeLength = 23;
    if (header.size() < kTimeLength + 3 || header.front() != '[' || !header.ends_with(")]") ||
        header.substr(1 + kTimeLength, 2) != ", ") {
        return false;
    }
    record.time = std::string(header.substr(1, kTimeLength));
    std::string_view rest = header.substr(kTimeLength + 3);
    rest.remove_suffix(2);
    std::string_view program, processId, threadId, location;
    if (!take(rest, " (PID: ", program) || !take(rest, ", TID: ", processId) ||
        !take(rest, "), ", threadId) || !take(rest, " (", location)) {
        return false;
    }
    const size_t colon = location.rfind(':');
    if (colon == std::string_view::npos || !parseNumber(processId, record.processId) ||
        !parseNumber(threadId, record.threadId) ||
        !parseNumber(location.substr(colon + 1), record.line)) {
        return false;
    }
    record.program = std::string(program);
    record.sourceFile = std::string(location.substr(0, colon));
    record.function = std::string(rest);
    return true;
}

// The header line, then "\tLEVEL: message\n".
bool parseRecord(const std::string& text, LogRecord& record) {
    const size_t headerEnd = text.find('\n');
    if (headerEnd == std::string::npos || !text.ends_with('\n') ||
        !parseHeader(std::string_view(text).substr(0, headerEnd), record)) {
        return false;
    }
    // What follows the header: "\t", the level, ": ", the message and the final line end.
    std::string_view body = std::string_view(text).substr(headerEnd + 1);
    if (!body.starts_with('\t')) {
        return false;
    }
    body.remove_prefix(1);
    body.remove_suffix(1);
    std::string_view level;
    if (!take(body, ": ", level) || level.empty()) {
        return false;
    }
    record.level = std::string(level);
    record.message = std::string(body);
    return true;
}

}  // namespace

std::vector<LogRecord> parseLogRecords(std::string_view text) {
    std::vector<LogRecord> records;
    size_t start = 0;
    while (start < text.size()) {
        size_t next = text.find('\n', start);
        while (next != std::string_view::npos && !headerStartsAt(text, next + 1)) {
            next = text.find('\n', next + 1);
        }
        const size_t end = next == std::string_view::npos ? text.size() : next + 1;
        LogRecord record;
        record.raw = std::string(text.substr(start, end - start));
        LogRecord parsed = record;
        if (parseRecord(withoutCarriageReturns(record.raw), parsed)) {
            parsed.wellFormed = true;
            record = std::move(parsed);
        }
        records.push_back(std::move(record));
        start = end;
    }
    return records;
}

}  // namespace cdk_test
