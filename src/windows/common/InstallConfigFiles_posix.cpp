// Deleting a settings file in host builds: drive letters lie where the settings store maps them.
#include <unistd.h>

#include <string>

#include "InstallConfigData.h"
#include "SettingsTestSupport.h"

bool removeSettingsFile(const std::string& utf8Path) {
    std::string path = utf8Path;
    for (char& c : path) {
        if (c == '\\') {
            c = '/';
        }
    }
    const std::string hostPath = settings_impl::host::hostPath(path);
    return !hostPath.empty() && ::unlink(hostPath.c_str()) == 0;
}
