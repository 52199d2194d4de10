// Settings text without validator or key mapper. The first byte chooses the error mode and
// whether bare keys are allowed; the rest is the text.
#include <cstddef>
#include <cstdint>
#include <string>

#include "FuzzSupport.h"

using namespace settings_fuzz;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    driveRoot();
    const bool stop = data[0] & 1;
    const bool bare = data[0] & 2;
    const std::string text(reinterpret_cast<const char*>(data + 1), size - 1);

    SettingsContext* context = api().context_create();
    const int status =
        api().context_import_from_string(context, text.c_str(), nullptr, nullptr, stop, bare);
    check(status == 0 || status == SETTINGS_E_REFUSED_LINES || status == SETTINGS_E_TEXT_NOT_UTF8,
          "import status", status);
    const int* lines = nullptr;
    int count = -1;
    api().context_get_last_import_errors(context, &lines, &count);
    check((status == SETTINGS_E_REFUSED_LINES) == (count > 0), "error list matches status", status);
    if (status == SETTINGS_E_REFUSED_LINES && stop) {
        int empty = 0;
        api().context_is_empty(context, &empty);
        check(empty == 1 && count == 1, "stopped import leaves settings unchanged", status);
    }
    checkEqualsOwnCopy(context);
    if (status == 0) checkRoundTrip(context, nullptr);
    api().context_destroy(context);
    return 0;
}
