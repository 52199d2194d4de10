#include "Config.h"

#include "SettingsException.h"

namespace settings_impl {

const std::optional<ConfigValue>& Config::find(std::string_view key) const {
    const auto it = entries_.find(key);
    if (it == entries_.end()) throw settings::ExceptionCode<303>();
    return it->second;
}

const ConfigValue& Config::findValue(std::string_view key) const {
    const std::optional<ConfigValue>& value = find(key);
    if (!value) throw settings::ExceptionCode<301>();
    return *value;
}

int32_t Config::getType(std::string_view key) const { return findValue(key).type(); }

bool Config::hasValue(std::string_view key) const { return find(key).has_value(); }

const char* Config::getUtf8(std::string_view key) const { return findValue(key).text().c_str(); }

int32_t Config::getInteger(std::string_view key) const {
    const ConfigValue& value = findValue(key);
    if (value.type() == kIntegerValue) return value.integerValue();
    if (value.type() == kUntypedValue) return parseInteger(value.text());
    throw settings::ExceptionCode<301>();
}

double Config::getDouble(std::string_view key) const {
    const ConfigValue& value = findValue(key);
    if (value.type() == kDoubleValue) return value.doubleValue();
    if (value.type() == kUntypedValue) return parseDouble(value.text());
    throw settings::ExceptionCode<301>();
}

bool Config::getBoolean(std::string_view key) const {
    const ConfigValue& value = findValue(key);
    if (value.type() == kBooleanValue) return value.booleanValue();
    if (value.type() == kUntypedValue) return parseBoolean(value.text());
    throw settings::ExceptionCode<301>();
}

std::string Config::getText(std::string_view key) const { return findValue(key).text(); }

std::vector<const std::string*> Config::getKeys() const {
    std::vector<const std::string*> keys;
    keys.reserve(entries_.size());
    for (const auto& entry : entries_) keys.push_back(&entry.first);
    return keys;
}

ConfigMap mergeConfigs(const Config& current, ConfigMap incoming) {
    // A merge of two sorted sequences, appending at the end of the result: the incoming entries
    // win, the current keys they do not hold are copied. The result's nodes are allocated in key
    // order, so that walking the map (export, comparison, iteration) reads memory in sequence
    // rather than in the order the lines happened to come in.
    // Nothing to merge into: the parser already built the incoming map in key order.
    if (current.size() == 0) return incoming;
    ConfigMap result;
    auto mine = current.entries().begin();
    const auto mineEnd = current.entries().end();
    auto theirs = incoming.begin();
    const auto theirsEnd = incoming.end();
    while (mine != mineEnd || theirs != theirsEnd) {
        if (theirs == theirsEnd || (mine != mineEnd && mine->first < theirs->first)) {
            result.emplace_hint(result.end(), mine->first, mine->second);
            ++mine;
            continue;
        }
        if (mine != mineEnd && !(theirs->first < mine->first)) {
            ++mine;  // the same key: the incoming entry replaces it
        }
        auto node = incoming.extract(theirs++);
        result.emplace_hint(result.end(), std::move(node.key()), std::move(node.mapped()));
    }
    return result;
}

}  // namespace settings_impl
