// Prints the caption and the text of every message box on the current desktop, so that a test
// can compare what a box shows with the texts it expects.
//
// A message box is a top-level dialog (window class "#32770") whose text is the static control
// with the id 0xFFFF. For each such window, standard output gets two lines in UTF-8:
//   caption <caption>
//   text <text>
// with "\" written as "\\", a carriage return as "\r" and a line feed as "\n", so that each
// value stays on its line. Exit status: 0 when at least one box was found, 1 otherwise.
#include <windows.h>

#include <cstdio>
#include <string>

namespace {

constexpr int kMessageTextId = 0xFFFF;

std::string escapedUtf8(const std::wstring& text) {
    std::string utf8;
    if (!text.empty()) {
        const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                             nullptr, 0, nullptr, nullptr);
        utf8.resize(static_cast<std::size_t>(size));
        WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), utf8.data(),
                            size, nullptr, nullptr);
    }
    std::string out;
    for (char c : utf8) {
        switch (c) {
            case '\\': out += "\\\\"; break;
            case '\r': out += "\\r"; break;
            case '\n': out += "\\n"; break;
            default: out += c;
        }
    }
    return out;
}

std::wstring windowText(HWND window) {
    const int length = GetWindowTextLengthW(window);
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
    text.resize(static_cast<std::size_t>(GetWindowTextW(window, text.data(), length + 1)));
    return text;
}

BOOL CALLBACK printBox(HWND window, LPARAM found) {
    wchar_t className[16] = {};
    if (GetClassNameW(window, className, 16) == 0 || lstrcmpW(className, L"#32770") != 0) {
        return TRUE;
    }
    const HWND text = GetDlgItem(window, kMessageTextId);
    if (text == nullptr) {
        return TRUE;
    }
    std::printf("caption %s\ntext %s\n", escapedUtf8(windowText(window)).c_str(),
                escapedUtf8(windowText(text)).c_str());
    *reinterpret_cast<int*>(found) += 1;
    return TRUE;
}

}  // namespace

int main() {
    int found = 0;
    EnumWindows(printBox, reinterpret_cast<LPARAM>(&found));
    std::fflush(stdout);
    return found > 0 ? 0 : 1;
}
