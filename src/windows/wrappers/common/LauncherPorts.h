// What the launcher's run asks of the machine, as narrow interfaces: the registry, process
// starts, the payload files, the probes of the environment, the runtime settings file and the
// updater's kept settings. The decisions (what to remove, which follow-ups run, which commands
// in which order, which exit code) are portable code written against these; Win32Ports.cpp
// answers them from the system, and host tests answer them from a scripted machine.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "RegistryViewRule.h"
#include "au/ConfigLogic.h"

namespace launcher {

// The registry view a key is read in.
using RegistryView = registry_view::View;

// The outcome of a step that can fail for a system reason: done, or the system's error code that
// says why. The results that callers outside the launcher read keep their own numbers (exit
// codes, the removal's 1/0, the updater's -1 to -5, the registry's own codes); the launcher's
// other steps report with this.
class [[nodiscard]] Status {
  public:
    static Status done() { return Status(true, 0); }
    // A failure, whatever the code: a system call that failed without setting one still failed.
    static Status failed(uint32_t error) { return Status(false, error); }
    // The system's convention: 0 (ERROR_SUCCESS) is done, any other code is why it failed.
    static Status fromCode(uint32_t code) { return Status(code == 0, code); }

    bool ok() const { return ok_; }
    uint32_t error() const { return error_; }

  private:
    Status(bool ok, uint32_t error) : ok_(ok), error_(error) {}
    bool ok_;
    uint32_t error_;
};

// A value as stored: its registry type and its raw bytes.
struct RegistryValue {
    uint32_t type = 0;
    std::vector<uint8_t> data;
};

// Reads keys and values below HKEY_LOCAL_MACHINE. Every result is the system's code: 0
// (ERROR_SUCCESS) or why it failed.
class RegistryReader {
  public:
    virtual ~RegistryReader() = default;
    // Whether `path` opens for reading in `view`.
    virtual long openKey(RegistryView view, const std::string& path) = 0;
    virtual long queryValue(RegistryView view, const std::string& path, const std::string& name,
                            RegistryValue& value) = 0;
    // A text value (REG_SZ or REG_EXPAND_SZ, unexpanded) read into a buffer of `capacity` bytes:
    // a longer one fails (ERROR_MORE_DATA) rather than being cut.
    virtual long queryString(RegistryView view, const std::string& path, const std::string& name,
                             std::size_t capacity, std::string& text) = 0;
    // Deletes "InstallStatus" under "Software\Tarnwell", and the key when nothing is left in it.
    virtual void clearInstallStatus() = 0;
    // Whether RegistryView::Product is the 64-bit view.
    virtual bool productView64() = 0;
};

// Starts a program and waits for it.
class ProcessStarter {
  public:
    virtual ~ProcessStarter() = default;
    // The child's exit code, the system's code when it could not be started, or 1627 for an
    // empty program path. `started` receives whether the child was started (left alone for an
    // empty path).
    virtual int run(const std::string& program, const std::string& arguments,
                    bool* started = nullptr) = 0;
};

// The payload resources of the program and the files they become.
class PayloadWriter {
  public:
    virtual ~PayloadWriter() = default;
    // Done when the program holds resource `id` of the installer type.
    virtual Status findInstallerResource(int id) = 0;
    // The kit database's path in the working folder, the folders created and held on the way;
    // a folder that cannot be had ends the run through the fatal exit.
    virtual std::string kitDatabasePath() = 0;
    // Writes resource `id` of the installer type to `path`: 1 when written, 0 when the program
    // has no such resource. Any other failure ends the run through the fatal exit.
    virtual int writeInstallerResource(int id, const std::string& path) = 0;
    // The event the kit's database waits on until the cabinets are written.
    virtual Status createCabinetEvent() = 0;
    // Writes the cabinets (on a thread of their own where one can be had).
    virtual void startCabinetExtraction() = 0;
    // Returns once every cabinet is written; a cabinet that cannot be written ends the run.
    virtual void awaitCabinetExtraction() = 0;
    // The user's data folder; empty when the system has none.
    virtual std::string userDataFolder() = 0;
    // Creates `folder` below the user's data folder `data` if it is missing, checked to be no
    // link and held until the process ends; a link fails with kStoppedOnLink.
    virtual Status holdFolderBelow(const std::string& data, const std::string& folder) = 0;
    // Ends the run with `code` after putting back what the run's state says (RunState), with
    // the message "<step> failed with error <code>: <system text>".
    [[noreturn]] virtual void fatalExit(const char* step, uint32_t code) = 0;
};

// The error code of a folder or file refused because it is a link (ERROR_STOPPED_ON_SYMLINK).
inline constexpr uint32_t kStoppedOnLink = 681;

// The environment: the installer engine, the in-progress flag, files, the system's texts.
class SystemProbes {
  public:
    virtual ~SystemProbes() = default;
    virtual bool windowsInstallerPresent() = 0;
    virtual bool installInProgress() = 0;
    virtual bool setInstallInProgressFlag() = 0;
    // The system's level (sysinfo::OsLevel).
    virtual int osLevel() = 0;
    // Full path of msiexec.exe; false when it cannot be found or would not fit `capacity`.
    virtual bool findMsiexecPath(std::string& path, std::size_t capacity) = 0;
    // The length of a command line in the units process creation counts (UTF-16 units of the
    // ANSI text); false when it cannot be counted.
    virtual bool commandLineUnits(const std::string& commandLine, std::size_t& units) = 0;
    // The calling thread's last system error, for log records that name it.
    virtual unsigned long lastError() = 0;
    virtual bool fileExists(const std::string& path) = 0;
    virtual void deleteFile(const std::string& path) = 0;
    // The common program files folder in the ANSI code page; empty when there is none.
    virtual std::string commonProgramFiles() = 0;
};

// The runtime settings file: the export prepared before anything is removed, stored after the
// kit's database is written, put back after a failed install.
class RuntimeSettingsFile {
  public:
    virtual ~RuntimeSettingsFile() = default;
    virtual int prepareExport() = 0;
    virtual int storeExport() = 0;
    virtual void discardPreparedExport() = 0;
    virtual int restore() = 0;
};

// The updater's schedule and notify settings, which survive its upgrade: read in the layout of
// the installed updater (the old one before 5.6), written in the new one. Each may throw.
class UpdaterSettingsStore {
  public:
    virtual ~UpdaterSettingsStore() = default;
    virtual au::ScheduleRecord readSchedule(bool oldLayout, bool& found) = 0;
    virtual int readNotifyType(bool oldLayout) = 0;
    virtual void writeSchedule(const au::ScheduleRecord& schedule) = 0;
    virtual void writeNotifyType(int notifyType) = 0;
};

// All of them, as one run uses them.
struct Ports {
    RegistryReader& registry;
    ProcessStarter& processes;
    PayloadWriter& payload;
    SystemProbes& probes;
    RuntimeSettingsFile& settings;
    UpdaterSettingsStore& updater;
};

// What a fatal exit puts back before it ends the process. The main sequence arms it as the run
// goes on; the fatal exit (from either thread) and the end of the install take it at most once.
enum class FatalCleanup : uint8_t {
    None,
    // The prepared runtime settings file is deleted.
    DiscardPreparedExport,
    // The runtime settings file is put back as it was before the run.
    RestoreSettings,
};

// The state of one run: filled by the main sequence, read by the follow-ups and the fatal exit.
struct RunState {
    // The module whose string table holds the message texts.
    void* module = nullptr;
    uint16_t installLanguage = 1033;
    // Full path of msiexec.exe, in the ANSI code page.
    std::string msiexecPath;
    // The public runtime's folder ("/INSTALLDIRPUBCRE"), in the ANSI code page; empty when unset.
    std::string publicRuntimeFolder;
    bool rebootSuppressed = false;
    // Product codes that msiexec uninstalled during this run, in order.
    std::vector<std::string> removedProducts;
    // The cleanup a fatal exit runs. Atomic: the extraction thread may exit while the main
    // thread finishes a failed install, and only one of them may run it.
    std::atomic<FatalCleanup> fatalCleanup{FatalCleanup::None};

    void armFatalCleanup(FatalCleanup cleanup) { fatalCleanup.store(cleanup); }
    FatalCleanup takeFatalCleanup() { return fatalCleanup.exchange(FatalCleanup::None); }
};

// Takes the armed cleanup and runs it through `settings`; an exception it throws is logged and
// goes no further (the exit's code is the failure's, not the cleanup's).
void runFatalCleanup(RunState& state, RuntimeSettingsFile& settings);

}  // namespace launcher
