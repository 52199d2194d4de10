// Win32 layer of the message seam: the module's string table and real message boxes.
#include <windows.h>

#include <vector>

#include "MessageUi.h"

namespace message_ui_platform {

std::string loadString(ModuleInstance module, unsigned id) {
    // LoadStringA converts the UTF-16 resource to the thread's ANSI code page, so a Japanese or
    // Chinese system shows the texts in its own code page. It cuts a text that does not fit,
    // perhaps a few bytes short of the buffer to keep a multi-byte character whole; a text that
    // comes within kMargin bytes of the end may have been cut, so it is loaded again into twice
    // the room. A string resource holds at most 65535 UTF-16 units, so the loop ends. The
    // caller cuts the whole text to its own capacity at a character boundary.
    constexpr std::size_t kMargin = 4;
    std::vector<char> buffer(1024);
    for (;;) {
        const int length = LoadStringA(static_cast<HINSTANCE>(module), id, buffer.data(),
                                       static_cast<int>(buffer.size()));
        if (length <= 0) {
            return std::string();
        }
        if (static_cast<std::size_t>(length) + kMargin < buffer.size()) {
            return std::string(buffer.data(), static_cast<std::size_t>(length));
        }
        buffer.resize(buffer.size() * 2);
    }
}

void messageBox(const std::string& caption, const std::string& text, unsigned icon) {
    MessageBoxA(nullptr, text.c_str(), caption.c_str(), MB_OK | icon);
}

}  // namespace message_ui_platform
