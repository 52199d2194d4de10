#include "PlainTextParser.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>

#include "ConfigValidator.h"
#include "KeyMapper.h"
#include "SettingsException.h"
#include "SettingsFileSystem.h"
#include "Text.h"
#include "Utf8.h"

namespace settings_impl {

namespace {

// The position of the first `byte` in text[from, to), or `to` when there is none. memchr
// scans many bytes a step, which matters on megabyte texts.
std::size_t findByte(std::string_view text, std::size_t from, std::size_t to, char byte) {
    if (from >= to) return to;
    const void* found = std::memchr(text.data() + from, byte, to - from);
    return found == nullptr
               ? to
               : static_cast<std::size_t>(static_cast<const char*>(found) - text.data());
}

int32_t clampIndex(std::size_t value) {
    return value > static_cast<std::size_t>(INT32_MAX) ? INT32_MAX : static_cast<int32_t>(value);
}

// Processes one line; returns true when it was accepted.
bool parseLine(std::string_view line, int32_t lineIndex, IConfigParserCallback& callback,
               bool allowKeyWithoutValue) {
    const std::size_t first = line.find_first_not_of(cdk_text::kBlanks);
    if (first == std::string_view::npos) return true;

    const PlainTextFileConfigParser::Cursor cursor(lineIndex, clampIndex(first));
    const auto refuse = [&](LineCode code) {
        callback.onError(cursor, code);
        return false;
    };

    if (line[first] == '#') {
        return callback.onComment(cursor, line.substr(first)) ? true
                                                              : refuse(LineCode::InvalidComment);
    }
    // The first '=' or ':' separates: a ':' only when it comes before the first '='.
    std::size_t separator = findByte(line, first, line.size(), '=');
    separator = findByte(line, first, separator, ':');
    if (separator == line.size()) {
        if (!allowKeyWithoutValue) return refuse(LineCode::KeyWithoutValue);
        // A bare key is accepted whatever the callback makes of it.
        callback.onKeyValue(cursor, cdk_text::trimTrailing(line.substr(first)), std::nullopt);
        return true;
    }
    const std::string_view key = cdk_text::trimTrailing(line.substr(first, separator - first));
    if (key.empty()) return refuse(LineCode::EmptyKey);
    const std::string_view value = cdk_text::trim(line.substr(separator + 1));
    const LineCode code = callback.onKeyValue(cursor, key, value);
    return code == LineCode::Accepted ? true : refuse(code);
}

// Text held in memory: the caller's (a view) or its own copy.
class StringBuffer : public PlainTextFileConfigParser::IBuffer {
  public:
    explicit StringBuffer(std::string text) : owned_(std::move(text)), text_(owned_) {}
    explicit StringBuffer(std::string_view text) : text_(text) {}
    std::string_view content() override {
        if (!isValidUtf8(text_)) throw settings::Exception(SETTINGS_E_TEXT_NOT_UTF8);
        return text_;
    }

  private:
    std::string owned_;
    std::string_view text_;
};

// The first piece of a file read: settings files are a few lines long.
constexpr std::size_t kFirstReadBytes = 64 * 1024;

class FileBuffer : public PlainTextFileConfigParser::IBuffer {
  public:
    explicit FileBuffer(CanonicalPath path) : path_(std::move(path)) {}
    std::string_view content() override {
        std::FILE* file = fs::openForBinaryRead(path_);
        if (file == nullptr) throw settings::Exception(SETTINGS_E_FILE_OPEN);
        struct Closer {
            std::FILE* file;
            ~Closer() { std::fclose(file); }
        } closer{file};
        // The buffer grows with what the file holds, doubling from one piece, up to the largest
        // file the store takes; a file that fills it without its end being reached is too large.
        // It is left uninitialised and the text is parsed where it was read.
        std::size_t capacity = 0;
        std::size_t read = 0;
        for (;;) {
            if (read == capacity) {
                const std::size_t grown =
                    std::min(kMaxFileBytes, capacity == 0 ? kFirstReadBytes : capacity * 2);
                if (grown == capacity) break;
                auto larger = std::make_unique_for_overwrite<char[]>(grown);
                if (read != 0) std::memcpy(larger.get(), bytes_.get(), read);
                bytes_ = std::move(larger);
                capacity = grown;
            }
            const std::size_t got = std::fread(bytes_.get() + read, 1, capacity - read, file);
            read += got;
            if (got == 0 || std::feof(file) || std::ferror(file)) break;
        }
        if (std::ferror(file)) throw settings::Exception(SETTINGS_E_FILE_READ);
        if (!std::feof(file)) throw settings::Exception(SETTINGS_E_FILE_TOO_LARGE);
        const std::string_view text(bytes_.get(), read);
        if (!isValidUtf8(text)) throw settings::Exception(SETTINGS_E_TEXT_NOT_UTF8);
        return text;
    }

  private:
    CanonicalPath path_;
    std::unique_ptr<char[]> bytes_;
};

}  // namespace

void ParserErrorCounter::onError(const IParserCursor& cursor, const std::string& message) {
    if (count_ < INT32_MAX) ++count_;
    if (next_ != nullptr) next_->onError(cursor, message);
}

const char* lineCodeMessage(LineCode code) {
    switch (code) {
        case LineCode::KeyWithoutValue:
            return "Key without value";
        case LineCode::EmptyKey:
            return "Empty key";
        case LineCode::InvalidKey:
            return "Invalid key";
        case LineCode::InvalidValue:
            return "Invalid value";
        case LineCode::InvalidComment:
            return "Invalid comment";
        case LineCode::Accepted:
            break;
    }
    return "Unknown error";
}

bool ConfigBuilder::onComment(const IParserCursor&, std::string_view) { return true; }

LineCode ConfigBuilder::onKeyValue(const IParserCursor&, std::string_view key,
                                   std::optional<std::string_view> value) {
    std::string mappedKey = keyMapper_ != nullptr ? keyMapper_->map(key) : std::string(key);
    std::optional<ConfigValue> stored;
    if (value) {
        try {
            stored = validator_ != nullptr
                         ? validator_->validate(mappedKey, value)
                         : ConfigValue::fromText(kUntypedValue, std::string(*value));
        } catch (const ConfigValidator::InvalidKeyError&) {
            return LineCode::InvalidKey;
        } catch (const ConfigValidator::InvalidValueError&) {
            return LineCode::InvalidValue;
        } catch (const settings::Exception&) {
            return LineCode::InvalidValue;
        }
    }
    entries_.emplace_back(std::move(mappedKey), std::move(stored));
    return LineCode::Accepted;
}

ConfigMap ConfigBuilder::takeEntries() { return sortEntries(std::move(entries_)); }

void ConfigBuilder::onError(const IParserCursor& cursor, LineCode code) {
    std::string message;
    message.reserve(48);
    message += '"';
    message += lineCodeMessage(code);
    message += "\" at ";
    message += positionText_(cursor);
    if (listener_ != nullptr) listener_->onError(cursor, message);
}

std::size_t estimateLineCount(std::string_view text) {
    const auto lineFeeds = static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n'));
    if (lineFeeds != 0) return lineFeeds + 1;
    return static_cast<std::size_t>(std::count(text.begin(), text.end(), '\r')) + 1;
}

void parseLines(std::string_view text, IConfigParserCallback& callback, bool stopOnFirstError,
                bool allowKeyWithoutValue) {
    std::size_t offset = 0;
    int32_t lineIndex = 0;
    // The next LF at or after offset (text.size() when none is left); a line ends there unless
    // a CR comes first.
    std::size_t nextLineFeed = findByte(text, 0, text.size(), '\n');
    for (;;) {
        if (nextLineFeed < offset) nextLineFeed = findByte(text, offset, text.size(), '\n');
        const std::size_t end = findByte(text, offset, nextLineFeed, '\r');
        const std::string_view line = text.substr(offset, end - offset);
        bool accepted = false;
        try {
            accepted = parseLine(line, lineIndex, callback, allowKeyWithoutValue);
        } catch (const settings::Exception&) {
            if (stopOnFirstError) throw;
            accepted = true;  // recorded by the listener; go on with the next line
        }
        if (!accepted && stopOnFirstError) return;
        if (lineIndex < INT32_MAX) ++lineIndex;
        if (end == text.size()) return;
        offset =
            end + ((text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n') ? 2 : 1);
    }
}

std::unique_ptr<PlainTextFileConfigParser> PlainTextFileConfigParser::fromString(std::string text) {
    return std::make_unique<PlainTextFileConfigParser>(
        std::make_unique<StringBuffer>(std::move(text)));
}

std::unique_ptr<PlainTextFileConfigParser> PlainTextFileConfigParser::fromView(
    std::string_view text) {
    return std::make_unique<PlainTextFileConfigParser>(std::make_unique<StringBuffer>(text));
}

std::unique_ptr<PlainTextFileConfigParser> PlainTextFileConfigParser::fromFile(CanonicalPath path) {
    return std::make_unique<PlainTextFileConfigParser>(
        std::make_unique<FileBuffer>(std::move(path)));
}

std::string PlainTextFileConfigParser::positionText(const IParserCursor& cursor) {
    const auto& position = static_cast<const Cursor&>(cursor);
    std::string text = "line ";
    text += std::to_string(static_cast<int64_t>(position.line()) + 1);
    text += "; char ";
    text += std::to_string(static_cast<int64_t>(position.character()) + 1);
    return text;
}

std::unique_ptr<Config> PlainTextFileConfigParser::parse() {
    const std::string_view content = buffer_->content();
    ParserErrorCounter counter(listener_);
    ConfigBuilder builder(&PlainTextFileConfigParser::positionText, validator_, keyMapper_,
                          &counter);
    // Most lines of a settings text are entries: sized once, the list is never regrown.
    builder.reserve(estimateLineCount(content));
    parseLines(content, builder, stopOnFirstError_, allowKeyWithoutValue_);
    if (counter.count() != 0 && stopOnFirstError_) return nullptr;
    return std::make_unique<Config>(builder.takeEntries());
}

void PlainTextEntrySerializer::writeKey(std::string_view key) {
    text_ += key;
    text_ += '\n';
}

void PlainTextEntrySerializer::writeEntry(std::string_view key, std::string_view text) {
    text_ += key;
    text_ += '=';
    text_ += text;
    text_ += '\n';
}

void serializeConfig(const Config& config, IConfigEntrySerializer& serializer) {
    for (const auto& [key, value] : config.entries()) {
        if (value) {
            serializer.writeEntry(key, value->text());
        } else {
            serializer.writeKey(key);
        }
    }
}

std::string configFileText(const Config& config) {
    // Sizing the text first costs a walk over the map's entries, which reads only the string
    // lengths held in the vector itself; it saves growing (and copying) a text of up to a
    // megabyte several times over.
    std::size_t bytes = 0;
    for (const auto& [key, value] : config.entries()) {
        bytes += key.size() + 1 + (value ? value->text().size() + 1 : 0);
    }
    PlainTextEntrySerializer serializer;
    serializer.reserve(bytes);
    serializeConfig(config, serializer);
    std::string text = serializer.takeText();
    // An empty store is written as a single space, never as an empty file.
    if (text.empty()) text.push_back(' ');
    return text;
}

}  // namespace settings_impl
