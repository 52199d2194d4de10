// The launcher's own cost: the time from starting cdk-setup.exe until its msiexec starts, less
// the time the launcher spends writing the kit's database, against the floor of its design:
// launcher_floor.exe, a program with the launcher's imports and link options that only finds
// the working folder and msiexec and starts it. The ratio of the two medians is reported
// (target: at most 1.15). A bare start of the stand-in from this process is shown for context.
// The three alternate within each round, so that a change of the machine's speed meets all.
//
// The stand-in is this program itself under the name msiexec.exe, in a folder that the
// installer's registry location names for the duration of the run: it stores the time it
// started and exits 0.
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "BenchSupport.h"
#include "ScopedHandle.h"
#include "Payload.h"
#include "PayloadTable.h"

namespace {

constexpr int kRounds = 9;
constexpr const char* kStampVariable = "CDK_OVERHEAD_STAMP";
constexpr const char* kInstallerKey = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Installer";

bool runningAsStandin() {
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    const std::string name(path);
    return name.size() >= 11 && _stricmp(name.c_str() + name.size() - 11, "msiexec.exe") == 0;
}

int standinMain() {
    const double started = bench::nowSeconds();
    char stamp[MAX_PATH] = {};
    if (GetEnvironmentVariableA(kStampVariable, stamp, MAX_PATH) > 0) {
        if (FILE* file = std::fopen(stamp, "w")) {
            std::fprintf(file, "%.9f\n", started);
            std::fclose(file);
        }
    }
    return 0;
}

double readStamp(const std::string& path) {
    double value = -1;
    if (FILE* file = std::fopen(path.c_str(), "r")) {
        if (std::fscanf(file, "%lf", &value) != 1) value = -1;
        std::fclose(file);
    }
    if (value < 0) {
        std::printf("error the stand-in left no start time\n");
        ExitProcess(2);
    }
    return value;
}

// Starts a command line and waits for it; returns the time just before the start.
double startAndWait(const std::string& commandLine) {
    STARTUPINFOA startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process{};
    std::vector<char> line(commandLine.begin(), commandLine.end());
    line.push_back('\0');
    const double started = bench::nowSeconds();
    if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process))
        bench::fail("CreateProcess");
    ScopedKernelHandle processHandle(process.hProcess);
    ScopedKernelHandle threadHandle(process.hThread);
    WaitForSingleObject(process.hProcess, 120000);
    return started;
}

// Points the installer's registry location at `folder` and puts the old value back at the end.
class InstallerLocation {
  public:
    explicit InstallerLocation(const std::string& folder) {
        if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, kInstallerKey, 0, nullptr, 0, KEY_ALL_ACCESS,
                            nullptr, &key_, nullptr) != ERROR_SUCCESS)
            bench::fail("RegCreateKeyEx");
        char old[MAX_PATH] = {};
        DWORD size = sizeof(old);
        DWORD type = 0;
        hadOld_ = RegQueryValueExA(key_, "InstallerLocation", nullptr, &type,
                                   reinterpret_cast<BYTE*>(old), &size) == ERROR_SUCCESS;
        old_ = old;
        set(folder);
    }
    ~InstallerLocation() {
        if (hadOld_) {
            set(old_);
        } else {
            RegDeleteValueA(key_, "InstallerLocation");
        }
        RegCloseKey(key_);
    }

  private:
    void set(const std::string& folder) {
        RegSetValueExA(key_, "InstallerLocation", 0, REG_SZ,
                       reinterpret_cast<const BYTE*>(folder.c_str()),
                       static_cast<DWORD>(folder.size() + 1));
    }
    HKEY key_ = nullptr;
    bool hadOld_ = false;
    std::string old_;
};

}  // namespace

int main() {
    if (runningAsStandin()) {
        return standinMain();
    }
    const std::string folder = bench::programFolder();
    const std::string work = folder + "overhead-work\\";
    const std::string standinFolder = work + "standin";
    CreateDirectoryA(work.c_str(), nullptr);
    CreateDirectoryA(standinFolder.c_str(), nullptr);
    char self[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, self, MAX_PATH);
    const std::string standin = standinFolder + "\\msiexec.exe";
    if (!CopyFileA(self, standin.c_str(), FALSE)) bench::fail("CopyFile stand-in");
    const std::string launcher = folder + "..\\bin\\cdk-setup.exe";
    const std::string floorProgram = folder + "launcher_floor.exe";
    const std::string stamp = work + "started.txt";
    SetEnvironmentVariableA(kStampVariable, stamp.c_str());
    InstallerLocation location(standinFolder);

    // The database write, as the launcher does it, from the launcher's own resource.
    HMODULE module = LoadLibraryExA(launcher.c_str(), nullptr,
                                    LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    if (module == nullptr) bench::fail("LoadLibraryEx cdk-setup.exe");

    std::vector<double> bare, floorStarts, launched, database;
    for (int round = 0; round < kRounds; ++round) {
        DeleteFileA(stamp.c_str());
        const double bareStart = startAndWait("\"" + standin + "\"");
        bare.push_back(readStamp(stamp) - bareStart);

        DeleteFileA(stamp.c_str());
        const double floorStart = startAndWait("\"" + floorProgram + "\"");
        floorStarts.push_back(readStamp(stamp) - floorStart);

        const std::string written = work + "database-" + std::to_string(round) + ".msi";
        const double writeStart = bench::nowSeconds();
        if (WriteResourceToFile(module, payload::kKitDatabase.id, payload::kInstallerType,
                                written) != 1)
            bench::fail("WriteResourceToFile");
        database.push_back(bench::nowSeconds() - writeStart);

        DeleteFileA(stamp.c_str());
        const double launcherStart = startAndWait("\"" + launcher + "\" /s");
        launched.push_back(readStamp(stamp) - launcherStart);
    }

    const double bareMedian = bench::median(bare);
    const double floorMedian = bench::median(floorStarts);
    const double launchedMedian = bench::median(launched);
    const double databaseMedian = bench::median(database);
    const double launcherCost = launchedMedian - databaseMedian;
    const double extra = launcherCost - floorMedian;
    std::printf("detail bare start of the stand-in: median %.1f ms\n", bareMedian * 1000);
    std::printf("detail floor program until msiexec starts: median %.1f ms (%.2f bare starts)\n",
                floorMedian * 1000, floorMedian / bareMedian);
    std::printf("detail launcher start until msiexec starts: median %.1f ms\n",
                launchedMedian * 1000);
    std::printf("detail kit database write: median %.1f ms\n", databaseMedian * 1000);
    std::printf("detail launcher's cost beyond the floor, database write left out: %.1f ms\n",
                extra * 1000);
    // The launcher's cost in floor programs (target: at most 1.15).
    std::printf("ratio %.3f\n", launcherCost / floorMedian);
    return 0;
}
