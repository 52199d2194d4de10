// The runtime settings file as the launcher reads it: arbitrary bytes as the file, a load with
// a command line that the first byte chooses, then the export's preparation, the export and the
// restore of a failed install. Whatever the file holds, the load either refuses it and leaves it
// alone, or the restore puts back exactly the bytes that were there.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "AllUtils.h"
#include "FuzzInput.h"
#include "InstallConfigData.h"
#include "InstallConfigDataPeer.h"
#include "MessageUi.h"
#include "SettingsTestSupport.h"

namespace {

using fuzz_input::check;

namespace fs = std::filesystem;

const fs::path& driveRoot() {
    static const fs::path root = [] {
        const fs::path path =
            fs::temp_directory_path() / ("runtime-file-fuzz-" + std::to_string(::getpid()));
        fs::create_directories(path);
        settings_impl::host::mapDrive('C', path.string());
        settings_impl::host::setCommonAppDataFolder(u"C:\\ProgramData");
        std::atexit([] { fs::remove_all(driveRoot()); });
        return path;
    }();
    return root;
}

std::optional<std::string> readAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Command lines of launcher runs: none, persistent options that differ from a file's or match
// it, a silent run, options that become msiexec arguments.
const std::vector<std::vector<std::string>> kCommandLines = {
    {},
    {"/s"},
    {"AUTO_UPDATE=Disable"},
    {"/s", "AUTO_UPDATE=Enable", "EULA=Enable"},
    {"SPONSORS=Disable", "STATIC=Enable"},
    {"/s", "INSTALLDIR=C:\\Kit", "ADDLOCAL=ToolsFeature"},
    {"WEB_ANALYTICS=Disable", "/s", "/v/qn"},
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    static const bool once = [] {
        DiagnosticLog::instance().setPath(std::string());  // records are not kept
        setMessageBoxObserver([](const MessageBoxRecord&) {});
        return true;
    }();
    (void)once;

    const fs::path folder = driveRoot() / "ProgramData/Quillon/Corvid";
    fs::remove_all(driveRoot() / "ProgramData");
    fs::create_directories(folder);
    const fs::path file = folder / "corvid.settings.cfg";
    const std::string before(reinterpret_cast<const char*>(data) + 1, size - 1);
    {
        std::ofstream out(file, std::ios::binary);
        out << before;
    }
    const std::vector<std::string>& commandLine = kCommandLines[data[0] % kCommandLines.size()];
    std::vector<const char*> argv{"setup.exe"};
    for (const std::string& argument : commandLine) argv.push_back(argument.c_str());

    InstallConfigData config;
    const int loaded =
        steps(config)._LoadConfigSettings(nullptr, argv.data(), static_cast<int>(argv.size()));
    if (loaded != 0) {
        check(readAll(file) == before, "a refused file is left as it was");
        return 0;
    }
    if (config.PrepareRuntimeExport(nullptr) != 0) {
        check(readAll(file) == before, "a failed preparation leaves the file as it was");
        return 0;
    }
    const int exported = config.ExportRuntimeConfig(nullptr);
    check(exported == 0, "the prepared export is stored");
    // What the export stored is a settings file the next run can load.
    if (const std::optional<std::string> after = readAll(file)) {
        InstallConfigData next;
        check(steps(next)._LoadConfigSettings(nullptr, argv.data(),
                                              static_cast<int>(argv.size())) == 0,
              "the exported file loads");
    }
    check(config.RestoreRuntimeConfig(nullptr) == 0, "the restore succeeds");
    check(readAll(file) == before, "the restore puts back the bytes that were there");
    std::size_t entries = 0;
    for (auto it = fs::directory_iterator(folder); it != fs::directory_iterator(); ++it) ++entries;
    check(entries == 1, "no temporary file is left beside the settings file");
    return 0;
}
