#include "Config.h"

#include <algorithm>

#include "SettingsException.h"

namespace settings_impl {

ConfigMap::const_iterator findEntry(const ConfigMap& entries, std::string_view key) {
    const auto it = std::lower_bound(
        entries.begin(), entries.end(), key,
        [](const ConfigEntry& entry, std::string_view k) { return entry.first < k; });
    if (it != entries.end() && it->first == key) return it;
    return entries.end();
}

const std::optional<ConfigValue>& Config::find(std::string_view key) const {
    const auto it = findEntry(entries_, key);
    if (it == entries_.end()) throw settings::ExceptionCode<SETTINGS_E_KEY_ABSENT>();
    return it->second;
}

const ConfigValue& Config::findValue(std::string_view key) const {
    const std::optional<ConfigValue>& value = find(key);
    if (!value) throw settings::ExceptionCode<SETTINGS_E_NO_VALUE_OR_WRONG_TYPE>();
    return *value;
}

int32_t Config::getType(std::string_view key) const { return findValue(key).type(); }

bool Config::hasValue(std::string_view key) const { return find(key).has_value(); }

const char* Config::getUtf8(std::string_view key) const { return findValue(key).text().c_str(); }

int32_t Config::getInteger(std::string_view key) const {
    const ConfigValue& value = findValue(key);
    if (value.type() == kIntegerValue) return value.integerValue();
    if (value.type() == kUntypedValue) return parseInteger(value.text());
    throw settings::ExceptionCode<SETTINGS_E_NO_VALUE_OR_WRONG_TYPE>();
}

double Config::getDouble(std::string_view key) const {
    const ConfigValue& value = findValue(key);
    if (value.type() == kDoubleValue) return value.doubleValue();
    if (value.type() == kUntypedValue) return parseDouble(value.text());
    throw settings::ExceptionCode<SETTINGS_E_NO_VALUE_OR_WRONG_TYPE>();
}

bool Config::getBoolean(std::string_view key) const {
    const ConfigValue& value = findValue(key);
    if (value.type() == kBooleanValue) return value.booleanValue();
    if (value.type() == kUntypedValue) return parseBoolean(value.text());
    throw settings::ExceptionCode<SETTINGS_E_NO_VALUE_OR_WRONG_TYPE>();
}

std::string Config::getText(std::string_view key) const { return findValue(key).text(); }

std::vector<const std::string*> Config::getKeys() const {
    std::vector<const std::string*> keys;
    keys.reserve(entries_.size());
    for (const auto& entry : entries_) keys.push_back(&entry.first);
    return keys;
}

ConfigMap mergeConfigs(const Config& current, ConfigMap incoming) {
    // A merge of two sorted sequences: the incoming entries win, the current keys they do not
    // hold are copied.
    const ConfigMap& mine = current.entries();
    if (mine.empty()) return incoming;
    ConfigMap result;
    result.reserve(mine.size() + incoming.size());
    std::size_t i = 0;
    std::size_t j = 0;
    while (i < mine.size() || j < incoming.size()) {
        if (j == incoming.size() || (i < mine.size() && mine[i].first < incoming[j].first)) {
            result.push_back(mine[i++]);
            continue;
        }
        if (i < mine.size() && !(incoming[j].first < mine[i].first)) {
            ++i;  // the same key: the incoming entry replaces it
        }
        result.push_back(std::move(incoming[j++]));
    }
    return result;
}

ConfigMap sortEntries(ConfigMap entries) {
    // A stable sort keeps the entries of one key in their order, so the last of them is the one
    // that stays.
    std::stable_sort(entries.begin(), entries.end(),
                     [](const ConfigEntry& a, const ConfigEntry& b) { return a.first < b.first; });
    std::size_t kept = 0;
    for (std::size_t i = 0; i < entries.size(); ++i) {
        if (i + 1 < entries.size() && entries[i + 1].first == entries[i].first) continue;
        if (kept != i) entries[kept] = std::move(entries[i]);
        ++kept;
    }
    entries.erase(entries.begin() + static_cast<std::ptrdiff_t>(kept), entries.end());
    return entries;
}

}  // namespace settings_impl
