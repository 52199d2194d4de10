// One settings import as the launcher does it, in a fresh process: context_create and one
// import of a generated settings text through the entry table, timed beside a baseline that
// splits the same text into lines and inserts them into a std::map. bench/run starts this
// program once per sample, so that every sample pays for cold heap pages, the first call of
// each code path and the growth of every container, as the launcher does once per run.
//
//   cold_import <bytes> [--source string|file] [--validated] [--baseline-first]
//               [--only store|baseline]
//
// The text is of <bytes> - 1 bytes (a power of two stays below the 1 MiB file limit). With
// "--source file" the text is written to a file first and both sides read it: the store through
// context_import_from_file, the baseline with one fread. "--validated" imports through a
// validator built as the launcher builds its own: fixed-value rules for flags, integer rules,
// text rules and folder rules, one per key of the full-size text, unknown keys refused. The two
// sides run one after the other; by default the store goes first, and bench/run alternates the
// order between samples so that neither side always pays the one-time costs of the process
// (malloc's first heap growth, lazily bound library calls). Nothing is freed until both are timed,
// so that neither side reuses memory the other has faulted in. Prints "lines", "bytes", then of
// each side the wall time, the thread's CPU time and the minor page faults ("store_ns",
// "store_cpu_ns", "store_faults", the same for "baseline_"), one "name value" pair a line.
// "--only" runs one side alone (the other's figures are 0), for profiling it.
#include <sys/resource.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <string>

#include "SettingsBenchText.h"
#include "SettingsTable.h"
#include "SettingsTestSupport.h"

namespace {

inline constexpr auto api = &settings::functionTable;

// The texts the launcher's flags take, and the two the generated text gives booleans.
constexpr FixedValueEntry kFlagValues[] = {
    {"Enable", 1, SETTINGS_FIXED_CASE_SENSITIVE}, {"Disable", 0, SETTINGS_FIXED_CASE_SENSITIVE},
    {"1", 1, SETTINGS_FIXED_CASE_SENSITIVE},      {"0", 0, SETTINGS_FIXED_CASE_SENSITIVE},
    {"true", 1, SETTINGS_FIXED_CASE_SENSITIVE},   {"no", 0, SETTINGS_FIXED_CASE_SENSITIVE},
};

// One rule per key of the full-size text, of the kinds the launcher's validator holds. Like the
// launcher's, it is the same whatever the size of the text imported. The builder is returned
// too and stays alive, so that its memory is not handed to the measured imports.
SettingsValidator* launcherLikeValidator(SettingsValidatorBuilder*& builder) {
    builder = api().validator_builder_create();
    for (std::size_t i = 0; i < settings_bench::kFullLines; ++i) {
        const std::string key = settings_bench::keyOf(i);
        switch (i % 4) {
            case 0:
                api().validator_builder_set_integer_validator(builder, key.c_str());
                break;
            case 1:
                api().validator_builder_set_fixed_value_validator(
                    builder, key.c_str(), kFlagValues, static_cast<int>(std::size(kFlagValues)));
                break;
            case 2:
                api().validator_builder_set_utf8_validator(builder, key.c_str());
                break;
            default:
                api().validator_builder_set_dirname_validator(builder, key.c_str(), 0);
                break;
        }
    }
    api().validator_builder_allow_unknown_keys(builder, 0);
    SettingsValidator* validator = nullptr;
    api().validator_builder_create_validator(builder, &validator);
    return validator;
}

long minorFaults() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_minflt;
}

// The CPU time of this thread, kernel time included (page faults are served there). On shared
// cores it leaves out the time the thread waits for a core, which wall time does not.
std::int64_t threadCpuNs() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<std::int64_t>(t.tv_sec) * 1000000000 + t.tv_nsec;
}

struct Timed {
    std::int64_t ns = 0;
    std::int64_t cpuNs = 0;
    long faults = 0;
};

template <class Work>
Timed timed(Work&& work) {
    const long faults = minorFaults();
    const std::int64_t cpu = threadCpuNs();
    const auto start = std::chrono::steady_clock::now();
    work();
    const auto end = std::chrono::steady_clock::now();
    return {std::chrono::duration_cast<std::chrono::nanoseconds>(end - start).count(),
            threadCpuNs() - cpu, minorFaults() - faults};
}

std::string readWhole(const std::string& path) {
    std::string text;
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (f == nullptr) return text;
    text.resize(static_cast<std::size_t>(std::filesystem::file_size(path)));
    text.resize(std::fread(text.data(), 1, text.size(), f));
    std::fclose(f);
    return text;
}

[[noreturn]] void usage() {
    std::fprintf(stderr,
                 "usage: cold_import <bytes> [--source string|file] [--validated] "
                 "[--baseline-first] [--only store|baseline]\n");
    std::exit(2);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) usage();
    const long long size = std::atoll(argv[1]);
    if (size < 2 || size > 0x100000) usage();
    bool fromFile = false;
    bool validated = false;
    bool baselineFirst = false;
    std::string only;
    for (int i = 2; i < argc; ++i) {
        if (std::strcmp(argv[i], "--source") == 0 && i + 1 < argc) {
            const std::string source = argv[++i];
            if (source != "string" && source != "file") usage();
            fromFile = source == "file";
        } else if (std::strcmp(argv[i], "--validated") == 0) {
            validated = true;
        } else if (std::strcmp(argv[i], "--baseline-first") == 0) {
            baselineFirst = true;
        } else if (std::strcmp(argv[i], "--only") == 0 && i + 1 < argc) {
            only = argv[++i];
            if (only != "store" && only != "baseline") usage();
        } else {
            usage();
        }
    }

    const std::string text = settings_bench::settingsTextOfSize(size);

    const std::filesystem::path root =
        std::filesystem::temp_directory_path() / ("settings-cold-" + std::to_string(getpid()));
    const std::string hostFile = (root / "settings.cfg").string();
    if (fromFile) {
        std::filesystem::create_directories(root);
        settings_impl::host::mapDrive('C', root.string());
        std::FILE* f = std::fopen(hostFile.c_str(), "wb");
        if (f == nullptr || std::fwrite(text.data(), 1, text.size(), f) != text.size()) {
            std::fprintf(stderr, "cannot write %s\n", hostFile.c_str());
            return 1;
        }
        std::fclose(f);
    }

    SettingsValidatorBuilder* builder = nullptr;
    SettingsValidator* validator = validated ? launcherLikeValidator(builder) : nullptr;

    SettingsContext* context = nullptr;
    int status = -1;
    const auto store = [&] {
        context = api().context_create();
        status = fromFile ? api().context_import_from_file(context, "C:/settings.cfg", validator,
                                                           nullptr, 1, 0)
                          : api().context_import_from_string(context, text.c_str(), validator,
                                                             nullptr, 1, 0);
    };
    std::map<std::string, std::string> entries;
    const auto baseline = [&] {
        if (fromFile) {
            entries = settings_bench::baselineImport(readWhole(hostFile));
        } else {
            entries = settings_bench::baselineImport(text);
        }
    };

    const bool runStore = only != "baseline";
    const bool runBaseline = only != "store";
    Timed storeTime;
    Timed baselineTime;
    if (runBaseline && baselineFirst) baselineTime = timed(baseline);
    if (runStore) storeTime = timed(store);
    if (runBaseline && !baselineFirst) baselineTime = timed(baseline);

    int isEmpty = 1;
    if (status == SETTINGS_OK) api().context_is_empty(context, &isEmpty);
    if (runStore && (status != SETTINGS_OK || isEmpty)) {
        std::fprintf(stderr, "import failed: status %d\n", status);
        return 1;
    }
    if (runBaseline && entries.empty()) {
        std::fprintf(stderr, "baseline import found no entries\n");
        return 1;
    }
    const auto textLines = static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n'));
    std::printf("lines %zu\nbytes %zu\nstore_ns %lld\nbaseline_ns %lld\n", textLines, text.size(),
                static_cast<long long>(storeTime.ns), static_cast<long long>(baselineTime.ns));
    std::printf("store_cpu_ns %lld\nbaseline_cpu_ns %lld\n",
                static_cast<long long>(storeTime.cpuNs),
                static_cast<long long>(baselineTime.cpuNs));
    std::printf("store_faults %ld\nbaseline_faults %ld\n", storeTime.faults, baselineTime.faults);

    api().context_destroy(context);
    api().validator_destroy(validator);
    api().validator_builder_destroy(builder);
    if (fromFile) std::filesystem::remove_all(root);
    return 0;
}
