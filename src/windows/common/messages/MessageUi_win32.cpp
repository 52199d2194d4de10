// Win32 layer of the message seam: the module's string table and real message boxes.
#include <windows.h>

#include <vector>

#include "MessageUi.h"

namespace message_ui_platform {

std::string loadString(ModuleInstance module, unsigned id, std::size_t capacity) {
    // LoadStringA converts the UTF-16 resource to the thread's ANSI code page, so a Japanese or
    // Chinese system shows the texts in its own code page.
    std::vector<char> buffer(capacity, '\0');
    const int length =
        LoadStringA(static_cast<HINSTANCE>(module), id, buffer.data(), static_cast<int>(capacity));
    if (length <= 0) {
        return std::string();
    }
    return std::string(buffer.data(), static_cast<std::size_t>(length));
}

void messageBox(const std::string& caption, const std::string& text, unsigned icon) {
    MessageBoxA(nullptr, text.c_str(), caption.c_str(), MB_OK | icon);
}

}  // namespace message_ui_platform
