// The one seam through which the launcher loads its message texts and shows message boxes.
// Windows builds call LoadStringA on the module and MessageBoxA without an owner window; host
// builds take the English texts of MessageTexts.def and show nothing. Tests watch every box
// (caption, text, icon, suppressed or not) through an observer.
#pragma once

#include <cstddef>
#include <functional>
#include <string>

// The module whose string table holds the texts (an HINSTANCE on Windows).
using ModuleInstance = void*;

// Message box icons, with the values of MB_ICONERROR and MB_ICONINFORMATION.
inline constexpr unsigned kMessageIconError = 0x10;
inline constexpr unsigned kMessageIconInformation = 0x40;

// Loads text `id` of the module's string table as if into a buffer of `capacity` bytes: a longer
// text is cut to at most capacity - 1 bytes, never inside a two-byte character of the ANSI code
// page; a missing text is empty.
std::string loadMessageText(ModuleInstance module, unsigned id, std::size_t capacity);

// Shows `text` under `caption` with an OK button and `icon`, without owner window, and waits
// until the user closes it. Nothing is shown when `suppressed` is true; the observer, if one is
// set, sees the box either way.
void showMessageBox(const std::string& caption, const std::string& text, unsigned icon,
                    bool suppressed);

struct MessageBoxRecord {
    std::string caption;
    std::string text;
    unsigned icon = 0;
    bool suppressed = false;
};
using MessageBoxObserver = std::function<void(const MessageBoxRecord&)>;

// Sets (or, with an empty function, clears) the observer of showMessageBox.
void setMessageBoxObserver(MessageBoxObserver observer);

namespace message_ui_platform {
// The whole text, in the ANSI code page; empty when missing.
std::string loadString(ModuleInstance module, unsigned id);
void messageBox(const std::string& caption, const std::string& text, unsigned icon);
}  // namespace message_ui_platform
