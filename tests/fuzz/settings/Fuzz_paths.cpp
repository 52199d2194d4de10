// File paths through import and export: whatever the text, the store answers with a defined
// status, canonical paths are stable, and a successful export can be read back from the same
// path. Drive C: is a private temporary folder; the current directory is C:\work.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "CanonicalPath.h"
#include "FuzzSupport.h"
#include "SettingsException.h"

using namespace settings_fuzz;

namespace {

bool isPathStatus(int status) {
    switch (status) {
        case 0:
        case SETTINGS_E_UNEXPECTED:
        case SETTINGS_E_FILE_OPEN:
        case SETTINGS_E_FILE_WRITE:
        case SETTINGS_E_FILE_READ:
        case SETTINGS_E_PATH_TOO_LONG:
        case SETTINGS_E_PATH_INVALID:
        case SETTINGS_E_PATH_NOT_UTF8:
        case SETTINGS_E_TEXT_NOT_UTF8:
        case SETTINGS_E_FILE_TOO_LARGE:
            return true;
        default:
            return false;
    }
}

void checkCanonicalForm(const std::string& text) {
    settings_impl::CanonicalPath path;
    try {
        path = settings_impl::makeCanonicalPath(text);
    } catch (const settings::Exception&) {
        return;
    }
    check(path.utf8.size() < settings_impl::kMaxPathBytes, "canonical path length");
    check(settings_impl::isDriveComponent(path.components.at(0)), "canonical path drive");
    for (std::size_t i = 1; i < path.components.size(); ++i) {
        const std::string& c = path.components[i];
        check(!c.empty() && c != "." && c != "..", "canonical component");
        check(settings_impl::isAllowedComponent(c), "canonical component allowed");
    }
    // Making it canonical again changes nothing.
    const settings_impl::CanonicalPath again = settings_impl::makeCanonicalPath(path.utf8);
    check(again.utf8 == path.utf8, "canonical form is stable");
}

// The path check that collects the components and the one that only keeps the first (used by
// folder rules) give the same status and the same first component.
void checkFirstComponent(const std::string& text) {
    std::vector<std::string> components;
    std::string_view first = "unset";
    const int status = settings_impl::checkPathText(text, components);
    check(settings_impl::checkPathText(text, first) == status, "path checks agree", status);
    check(first == (components.empty() ? std::string_view() : std::string_view(components[0])),
          "first component", status);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    driveRoot();
    const std::string text(reinterpret_cast<const char*>(data), size);
    checkCanonicalForm(text);
    checkFirstComponent(text);

    SettingsContext* context = api().context_create();
    int status = api().context_import_from_file(context, text.c_str(), nullptr, nullptr, 1, 1);
    check(isPathStatus(status), "import status", status);

    api().context_import_from_string(context, "path=value\nbare", nullptr, nullptr, 1, 1);
    status = api().context_export_to_file(context, text.c_str());
    check(isPathStatus(status), "export status", status);
    if (status == 0) {
        SettingsContext* back = api().context_create();
        status = api().context_import_from_file(back, text.c_str(), nullptr, nullptr, 1, 1);
        check(status == 0, "import from the path just written", status);
        int equal = 0;
        check(api().context_is_equal(context, back, &equal) == 0 && equal == 1,
              "exported file reads back equal");
        api().context_destroy(back);
    }
    api().context_destroy(context);
    emptyDrive();
    return 0;
}
