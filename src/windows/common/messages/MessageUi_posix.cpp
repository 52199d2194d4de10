// Host layer of the message seam: the English texts of the shared table; no boxes are shown.
#include "MessageTexts.h"
#include "MessageUi.h"

namespace message_ui_platform {

std::string loadString(ModuleInstance, unsigned id) {
    const char* text = messageText(id, kLanguageEnglish);
    return text != nullptr ? std::string(text) : std::string();
}

void messageBox(const std::string&, const std::string&, unsigned) {}

}  // namespace message_ui_platform
