#include "KeyMapper.h"

#include "Text.h"

namespace settings_impl {

bool SimpleKeyMapper::map(std::string_view key, std::string& result) const {
    if (key == source_ || (!caseSensitive_ && cdk_text::equalsIgnoringAsciiCase(key, source_))) {
        result = target_;
        return true;
    }
    return false;
}

std::string KeyMapper::map(std::string_view key) const {
    std::string result;
    for (auto it = rules_.rbegin(); it != rules_.rend(); ++it) {
        if ((*it)->map(key, result)) return result;
    }
    return std::string(key);
}

void KeyMapperBuilder::map(std::string source, std::string target, bool caseSensitive) {
    factories_.push_back(std::make_unique<KeyMapperFactory<SimpleKeyMapper>>(
        std::move(source), std::move(target), caseSensitive));
}

std::unique_ptr<KeyMapper> KeyMapperBuilder::createKeyMapper() const {
    std::vector<std::unique_ptr<IKeyMapper>> rules;
    rules.reserve(factories_.size());
    for (const auto& factory : factories_) rules.push_back(factory->create());
    return std::make_unique<KeyMapper>(std::move(rules));
}

}  // namespace settings_impl
