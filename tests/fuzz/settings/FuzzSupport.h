// What the settings fuzz targets share: a host folder standing for drive C:, the entry table
// and the property checks.
#pragma once

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "SettingsTestSupport.h"
#include "SettingsTable.h"

namespace settings_fuzz {

inline constexpr auto api = &settings::functionTable;

// Drive C: is a private folder of this process, emptied on demand.
inline const std::filesystem::path& driveRoot() {
    static const std::filesystem::path root = [] {
        auto path = std::filesystem::temp_directory_path() /
                    ("settings-fuzz-" + std::to_string(::getpid()));
        std::filesystem::create_directories(path / "work");
        settings_impl::host::mapDrive('C', path.string());
        settings_impl::host::setCurrentDirectory("C:\\work");
        std::atexit([] { std::filesystem::remove_all(driveRoot()); });
        return path;
    }();
    return root;
}

inline void emptyDrive() {
    for (const auto& entry : std::filesystem::directory_iterator(driveRoot())) {
        if (entry.path().filename() != "work") std::filesystem::remove_all(entry.path());
    }
    for (const auto& entry : std::filesystem::directory_iterator(driveRoot() / "work")) {
        std::filesystem::remove_all(entry.path());
    }
}

[[noreturn]] inline void violated(const char* what, int status) {
    std::fprintf(stderr, "property violated: %s (status %d)\n", what, status);
    std::abort();
}

inline void check(bool condition, const char* what, int status = 0) {
    if (!condition) violated(what, status);
}

// A context equals a copy of itself made by importing it into an empty context.
inline void checkEqualsOwnCopy(SettingsContext* context) {
    SettingsContext* copy = api().context_create();
    int status = api().context_import_from_context(copy, context);
    check(status == 0, "copy import", status);
    int equal = 0;
    status = api().context_is_equal(context, copy, &equal);
    check(status == 0 && equal == 1, "context equals its copy", status);
    status = api().context_is_equal(copy, context, &equal);
    check(status == 0 && equal == 1, "copy equals context", status);
    api().context_destroy(copy);
}

// Exporting the context and importing the file again gives an equal context.
inline void checkRoundTrip(SettingsContext* context, const SettingsValidator* validator) {
    int status = api().context_export_to_file(context, "C:/round/trip.cfg");
    check(status == 0, "export of accepted settings", status);
    SettingsContext* back = api().context_create();
    status = api().context_import_from_file(back, "C:/round/trip.cfg", validator, nullptr, 1, 1);
    check(status == 0, "import of exported settings", status);
    int equal = 0;
    status = api().context_is_equal(context, back, &equal);
    check(status == 0 && equal == 1, "round trip gives an equal context", status);
    api().context_destroy(back);
}

}  // namespace settings_fuzz
