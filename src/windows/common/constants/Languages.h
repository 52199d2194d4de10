// The install languages, as Windows language ids: the languages of the message texts, the kit's
// embedded transforms and the public runtime's transforms.
#pragma once

#include <cstdint>

inline constexpr uint16_t kLanguageEnglish = 1033;   // English (United States)
inline constexpr uint16_t kLanguageJapanese = 1041;  // Japanese
inline constexpr uint16_t kLanguageChinese = 2052;   // Chinese (People's Republic)
