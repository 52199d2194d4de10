// Renaming of keys while a settings text is parsed.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace settings_impl {

// One renaming rule: returns true and sets `result` when the rule matches the key.
class IKeyMapper {
  public:
    virtual ~IKeyMapper() = default;
    virtual bool map(std::string_view key, std::string& result) const = 0;
};

// Renames `source` to `target`; without caseSensitive the key also matches after lower-casing
// ASCII letters on both sides.
class SimpleKeyMapper : public IKeyMapper {
  public:
    SimpleKeyMapper(std::string source, std::string target, bool caseSensitive)
        : source_(std::move(source)), target_(std::move(target)), caseSensitive_(caseSensitive) {}
    bool map(std::string_view key, std::string& result) const override;

  private:
    std::string source_;
    std::string target_;
    bool caseSensitive_;
};

// The rules of one mapper; the rule added last is tried first and the first match decides.
// A rule's result is never fed to another rule.
class KeyMapper {
  public:
    explicit KeyMapper(std::vector<std::unique_ptr<IKeyMapper>> rules) : rules_(std::move(rules)) {}
    std::string map(std::string_view key) const;

  private:
    std::vector<std::unique_ptr<IKeyMapper>> rules_;
};

class KeyMapperBuilder {
  public:
    class IKeyMapperFactory {
      public:
        virtual ~IKeyMapperFactory() = default;
        virtual std::unique_ptr<IKeyMapper> create() const = 0;
    };

    template <class Mapper>
    class KeyMapperFactory : public IKeyMapperFactory {
      public:
        KeyMapperFactory(std::string source, std::string target, bool caseSensitive)
            : source_(std::move(source)),
              target_(std::move(target)),
              caseSensitive_(caseSensitive) {}
        std::unique_ptr<IKeyMapper> create() const override {
            return std::make_unique<Mapper>(source_, target_, caseSensitive_);
        }

      private:
        std::string source_;
        std::string target_;
        bool caseSensitive_;
    };

    // Appends a rule; repeated or contradicting rules are all kept.
    void map(std::string source, std::string target, bool caseSensitive);
    // A new mapper with one rule per factory, in the order the rules were added.
    std::unique_ptr<KeyMapper> createKeyMapper() const;

  private:
    std::vector<std::unique_ptr<IKeyMapperFactory>> factories_;
};

}  // namespace settings_impl
