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
    // An entry is large (a key and a value with its text), so the entries are not sorted
    // themselves: small records of key and input position are, and then each entry that stays
    // moves once into the result. Ties are ordered by position, so the last line of a key ends
    // the run of its key and is the one that stays.
    struct Line {
        std::string_view key;
        std::size_t position;
    };
    std::vector<Line> lines;
    lines.reserve(entries.size());
    for (std::size_t i = 0; i < entries.size(); ++i) lines.push_back({entries[i].first, i});
    std::sort(lines.begin(), lines.end(), [](const Line& a, const Line& b) {
        const int order = a.key.compare(b.key);
        return order < 0 || (order == 0 && a.position < b.position);
    });

    ConfigMap sorted;
    sorted.reserve(lines.size());
    for (std::size_t k = 0; k < lines.size(); ++k) {
        if (k + 1 == lines.size() || lines[k + 1].key != lines[k].key) {
            sorted.push_back(std::move(entries[lines[k].position]));
        }
    }
    return sorted;
}

}  // namespace settings_impl
