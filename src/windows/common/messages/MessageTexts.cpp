#include "MessageTexts.h"

namespace {

struct MessageEntry {
    unsigned id;
    const char* english;
    const char* japanese;
    const char* chinese;
};

constexpr MessageEntry kMessages[] = {
#define CDK_MESSAGE(symbol, id, english, japanese, chinese) {id, english, japanese, chinese},
#include "MessageTexts.def"
#undef CDK_MESSAGE
};

constexpr unsigned kMessageIds[] = {
#define CDK_MESSAGE(symbol, id, english, japanese, chinese) id,
#include "MessageTexts.def"
#undef CDK_MESSAGE
};

}  // namespace

const char* messageText(unsigned id, uint16_t language) {
    for (const MessageEntry& entry : kMessages) {
        if (entry.id != id) {
            continue;
        }
        switch (language) {
            case kLanguageEnglish:
                return entry.english;
            case kLanguageJapanese:
                return entry.japanese;
            case kLanguageChinese:
                return entry.chinese;
            default:
                return nullptr;
        }
    }
    return nullptr;
}

MessageIdList allMessageIds() {
    return {kMessageIds, static_cast<unsigned>(sizeof(kMessageIds) / sizeof(kMessageIds[0]))};
}
