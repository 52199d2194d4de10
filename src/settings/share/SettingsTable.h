// The store's entry table, filled once, for C++ programs that call the store directly through
// it (tests, fuzz targets, benchmarks).
#pragma once

#include "settings.h"

namespace settings {

inline const SettingsFunctions& functionTable() {
    static const SettingsFunctions table = [] {
        SettingsFunctions t{};
        settings_get_functions(&t);
        return t;
    }();
    return table;
}

}  // namespace settings
