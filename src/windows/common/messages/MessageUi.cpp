#include "MessageUi.h"

#include <utility>

#include "Text.h"

namespace {
MessageBoxObserver& observerSlot() {
    static MessageBoxObserver observer;
    return observer;
}
}  // namespace

std::string loadMessageText(ModuleInstance module, unsigned id, std::size_t capacity) {
    if (capacity == 0) {
        return std::string();
    }
    const std::string text = message_ui_platform::loadString(module, id);
    return std::string(cdk_text::cutToBuffer(text, capacity, cdk_text::isAnsiLeadByte));
}

void showMessageBox(const std::string& caption, const std::string& text, unsigned icon,
                    bool suppressed) {
    if (const MessageBoxObserver& observer = observerSlot()) {
        observer(MessageBoxRecord{caption, text, icon, suppressed});
    }
    if (!suppressed) {
        message_ui_platform::messageBox(caption, text, icon);
    }
}

void setMessageBoxObserver(MessageBoxObserver observer) { observerSlot() = std::move(observer); }
