#include "MessageUi.h"

#include <utility>

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
    return message_ui_platform::loadString(module, id, capacity);
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
