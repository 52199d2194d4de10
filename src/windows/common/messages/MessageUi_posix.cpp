// Host layer of the message seam: the English texts of the shared table; no boxes are shown.
#include "MessageTexts.h"
#include "MessageUi.h"

namespace message_ui_platform {

std::string loadString(ModuleInstance, unsigned id, std::size_t capacity) {
    const char* text = messageText(id, kLanguageEnglish);
    if (text == nullptr) {
        return std::string();
    }
    std::string result(text);
    if (result.size() > capacity - 1) {
        result.resize(capacity - 1);
    }
    return result;
}

void messageBox(const std::string&, const std::string&, unsigned) {}

}  // namespace message_ui_platform
