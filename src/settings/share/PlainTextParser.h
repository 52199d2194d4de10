// The plain-text settings format: lines of "key = value", "key: value", bare keys and "#"
// comments, read by PlainTextFileConfigParser and written by PlainTextEntrySerializer.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "CanonicalPath.h"
#include "Config.h"

namespace settings_impl {

class ConfigValidator;
class KeyMapper;

// Files are read with one read of this many bytes; larger files are refused.
inline constexpr std::size_t kMaxFileBytes = 0x100000;

class IParserCursor {
  public:
    virtual ~IParserCursor() = default;
};

class IParserErrorListener {
  public:
    virtual ~IParserErrorListener() = default;
    // The cursor of the refused line and the complete message ("\"Empty key\" at line 3; char 1").
    virtual void onError(const IParserCursor& cursor, const std::string& message) = 0;
};

// Counts errors and passes each on to the next listener, if any.
class ParserErrorCounter : public IParserErrorListener {
  public:
    explicit ParserErrorCounter(IParserErrorListener* next) : next_(next) {}
    void onError(const IParserCursor& cursor, const std::string& message) override;
    int32_t count() const { return count_; }

  private:
    int32_t count_ = 0;
    IParserErrorListener* next_;
};

// What became of one line, passed between the line procedure and its callback. Never a status:
// a refused line reaches the client as SETTINGS_E_REFUSED_LINES and its line index.
enum class LineCode {
    Accepted,
    KeyWithoutValue,
    EmptyKey,
    InvalidKey,
    InvalidValue,
    InvalidComment,
};

class IConfigParserCallback {
  public:
    virtual ~IConfigParserCallback() = default;
    virtual bool onComment(const IParserCursor& cursor, std::string_view comment) = 0;
    // Returns LineCode::Accepted or the code of the refusal.
    virtual LineCode onKeyValue(const IParserCursor& cursor, std::string_view key,
                                std::optional<std::string_view> value) = 0;
    virtual void onError(const IParserCursor& cursor, LineCode code) = 0;
};

// Turns accepted lines into entries (key mapping, then validation) and words the errors.
class ConfigBuilder : public IConfigParserCallback {
  public:
    using PositionText = std::function<std::string(const IParserCursor&)>;

    ConfigBuilder(PositionText positionText, const ConfigValidator* validator,
                  const KeyMapper* keyMapper, IParserErrorListener* listener)
        : positionText_(std::move(positionText)),
          validator_(validator),
          keyMapper_(keyMapper),
          listener_(listener) {}

    bool onComment(const IParserCursor& cursor, std::string_view comment) override;
    LineCode onKeyValue(const IParserCursor& cursor, std::string_view key,
                        std::optional<std::string_view> value) override;
    void onError(const IParserCursor& cursor, LineCode code) override;

    // Room for this many entries, so that the list is not regrown while lines come in.
    void reserve(std::size_t entries) { entries_.reserve(entries); }
    // The accepted entries; of a key given more than once, the last line wins.
    ConfigMap takeEntries();

  private:
    PositionText positionText_;
    const ConfigValidator* validator_;
    const KeyMapper* keyMapper_;
    IParserErrorListener* listener_;
    // Lines in the order they came; sorted once at the end.
    ConfigMap entries_;
};

// The message text of a line code ("Key without value", "Empty key", ...).
const char* lineCodeMessage(LineCode code);

// The line count of a text whose lines all end alike (LF, CR LF or CR): its LF count plus one,
// or its CR count plus one when it has no LF. For sizing only: mixed line ends make it low.
std::size_t estimateLineCount(std::string_view text);

// Splits the text into lines (CR, LF or CR LF) and hands each line to the callback. A
// settings::Exception from the callback ends the procedure when stopOnFirstError is set and
// counts as a refused line otherwise; a refused line also ends it when stopOnFirstError is set.
void parseLines(std::string_view text, IConfigParserCallback& callback, bool stopOnFirstError,
                bool allowKeyWithoutValue);

class IConfigParser {
  public:
    virtual ~IConfigParser() = default;
    virtual void setValidator(const ConfigValidator* validator) = 0;
    virtual void setKeyMapper(const KeyMapper* keyMapper) = 0;
    virtual void setErrorListener(IParserErrorListener* listener) = 0;
    virtual void setStopOnFirstError(bool stop) = 0;
    virtual void setAllowKeyWithoutValue(bool allow) = 0;
    // The parsed settings, or null when lines were refused and stopOnFirstError is set.
    virtual std::unique_ptr<Config> parse() = 0;
};

class PlainTextFileConfigParser : public IConfigParser {
  public:
    class IBuffer {
      public:
        virtual ~IBuffer() = default;
        // The whole text, checked to be UTF-8; it stays valid until the next call or the
        // buffer's end. Throws settings::Exception (SETTINGS_E_FILE_OPEN, _FILE_READ,
        // _TEXT_NOT_UTF8, _FILE_TOO_LARGE).
        virtual std::string_view content() = 0;
    };

    // Line index, then the index of the line's first non-blank byte; both from 0.
    class Cursor : public IParserCursor {
      public:
        Cursor(int32_t line, int32_t character) : line_(line), character_(character) {}
        int32_t line() const { return line_; }
        int32_t character() const { return character_; }

      private:
        int32_t line_;
        int32_t character_;
    };

    // Parses settings text held in memory (no size limit).
    static std::unique_ptr<PlainTextFileConfigParser> fromString(std::string text);
    // The same without a copy: the caller's text must outlive the parser.
    static std::unique_ptr<PlainTextFileConfigParser> fromView(std::string_view text);
    // Parses a file, read anew on every parse (less than 1 MiB).
    static std::unique_ptr<PlainTextFileConfigParser> fromFile(CanonicalPath path);

    explicit PlainTextFileConfigParser(std::unique_ptr<IBuffer> buffer)
        : buffer_(std::move(buffer)) {}

    void setValidator(const ConfigValidator* validator) override { validator_ = validator; }
    void setKeyMapper(const KeyMapper* keyMapper) override { keyMapper_ = keyMapper; }
    void setErrorListener(IParserErrorListener* listener) override { listener_ = listener; }
    void setStopOnFirstError(bool stop) override { stopOnFirstError_ = stop; }
    void setAllowKeyWithoutValue(bool allow) override { allowKeyWithoutValue_ = allow; }
    std::unique_ptr<Config> parse() override;

    // "line N; char M", both counted from 1.
    static std::string positionText(const IParserCursor& cursor);

  private:
    const ConfigValidator* validator_ = nullptr;
    const KeyMapper* keyMapper_ = nullptr;
    IParserErrorListener* listener_ = nullptr;
    bool stopOnFirstError_ = true;
    bool allowKeyWithoutValue_ = false;
    std::unique_ptr<IBuffer> buffer_;
};

class IConfigEntrySerializer {
  public:
    virtual ~IConfigEntrySerializer() = default;
    virtual void writeKey(std::string_view key) = 0;
    virtual void writeEntry(std::string_view key, std::string_view text) = 0;
};

// Collects "key=text\n" and "key\n" lines; nothing is escaped, quoted or padded.
class PlainTextEntrySerializer : public IConfigEntrySerializer {
  public:
    void writeKey(std::string_view key) override;
    void writeEntry(std::string_view key, std::string_view text) override;
    std::string takeText() { return std::move(text_); }
    void reserve(std::size_t bytes) { text_.reserve(bytes); }

  private:
    std::string text_;
};

// Writes every entry of the config, keys in ascending byte order.
void serializeConfig(const Config& config, IConfigEntrySerializer& serializer);

// The text that an export stores: the serialized entries, or a single space for an empty
// config.
std::string configFileText(const Config& config);

}  // namespace settings_impl
