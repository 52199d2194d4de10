// Import and export of large settings texts through the entry table, each beside a baseline
// that does the least work with the same bytes (import: split, trim, std::map; export: one
// fwrite). At the end the ratios to the baselines and the cost per line are printed.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "SettingsBenchText.h"
#include "SettingsTestSupport.h"
#include "SettingsTable.h"

namespace {

inline constexpr auto api = &settings::functionTable;

using settings_bench::keyOf;
using settings_bench::kFullLines;

struct Fixture {
    std::filesystem::path root;
    SettingsValidator* validator = nullptr;

    Fixture() {
        root =
            std::filesystem::temp_directory_path() / ("settings-bench-" + std::to_string(getpid()));
        std::filesystem::create_directories(root);
        settings_impl::host::mapDrive('C', root.string());
        SettingsValidatorBuilder* b = api().validator_builder_create();
        for (std::size_t i = 0; i < kFullLines; ++i) {
            const std::string key = keyOf(i);
            switch (i % 4) {
                case 0:
                    api().validator_builder_set_integer_validator(b, key.c_str());
                    break;
                case 1:
                    api().validator_builder_set_boolean_validator(b, key.c_str());
                    break;
                case 2:
                    api().validator_builder_set_double_validator(b, key.c_str());
                    break;
                default:
                    api().validator_builder_set_dirname_validator(b, key.c_str(), 0);
                    break;
            }
        }
        api().validator_builder_create_validator(b, &validator);
        api().validator_builder_destroy(b);
    }
    ~Fixture() {
        api().validator_destroy(validator);
        std::filesystem::remove_all(root);
    }
};

Fixture& fixture() {
    static Fixture f;
    return f;
}

std::string textFor(const benchmark::State& state) {
    return settings_bench::settingsTextOfSize(state.range(0));
}

void setCounters(benchmark::State& state, const std::string& text) {
    const auto lines = static_cast<double>(std::count(text.begin(), text.end(), '\n'));
    state.counters["lines"] = lines;
    state.counters["per_line"] = benchmark::Counter(
        lines, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}

void Import(benchmark::State& state) {
    const std::string text = textFor(state);
    for (auto _ : state) {
        SettingsContext* context = api().context_create();
        const int status = api().context_import_from_string(context, text.c_str(),
                                                            fixture().validator, nullptr, 1, 0);
        if (status != 0) state.SkipWithError("import failed");
        api().context_destroy(context);
    }
    setCounters(state, text);
}

void ImportBaseline(benchmark::State& state) {
    const std::string text = textFor(state);
    for (auto _ : state) {
        auto entries = settings_bench::baselineImport(text);
        benchmark::DoNotOptimize(entries);
    }
    setCounters(state, text);
}

// A context holding the imported text, and the bytes its export writes.
struct Exported {
    SettingsContext* context = nullptr;
    std::string bytes;
};

Exported exported(const benchmark::State& state) {
    Exported e;
    e.context = api().context_create();
    api().context_import_from_string(e.context, textFor(state).c_str(), fixture().validator,
                                     nullptr, 1, 0);
    api().context_export_to_file(e.context, "C:/out/reference.cfg");
    std::FILE* f = std::fopen((fixture().root / "out/reference.cfg").c_str(), "rb");
    char buffer[65536];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) e.bytes.append(buffer, n);
    std::fclose(f);
    return e;
}

void Export(benchmark::State& state) {
    Exported e = exported(state);
    for (auto _ : state) {
        if (api().context_export_to_file(e.context, "C:/out/settings.cfg") != 0) {
            state.SkipWithError("export failed");
        }
    }
    setCounters(state, e.bytes);
    api().context_destroy(e.context);
}

void ExportBaseline(benchmark::State& state) {
    Exported e = exported(state);
    const std::string path = (fixture().root / "out/baseline.cfg").string();
    for (auto _ : state) {
        std::FILE* f = std::fopen(path.c_str(), "w");
        std::fwrite(e.bytes.data(), 1, e.bytes.size(), f);
        std::fclose(f);
    }
    setCounters(state, e.bytes);
    api().context_destroy(e.context);
}

constexpr int64_t kSizes[] = {0x40000, 0x80000, 0x100000};

BENCHMARK(Import)->Arg(kSizes[0])->Arg(kSizes[1])->Arg(kSizes[2])->Unit(benchmark::kMillisecond);
BENCHMARK(ImportBaseline)
    ->Arg(kSizes[0])
    ->Arg(kSizes[1])
    ->Arg(kSizes[2])
    ->Unit(benchmark::kMillisecond);
BENCHMARK(Export)->Arg(kSizes[0])->Arg(kSizes[1])->Arg(kSizes[2])->Unit(benchmark::kMillisecond);
BENCHMARK(ExportBaseline)
    ->Arg(kSizes[0])
    ->Arg(kSizes[1])
    ->Arg(kSizes[2])
    ->Unit(benchmark::kMillisecond);

// Prints the usual table, then each measurement against its baseline.
class RatioReporter : public benchmark::ConsoleReporter {
  public:
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            times_[run.benchmark_name()] = run.GetAdjustedRealTime();
            const auto lines = run.counters.find("lines");
            if (lines != run.counters.end()) lines_[run.benchmark_name()] = lines->second.value;
        }
    }
    void Finalize() override {
        ConsoleReporter::Finalize();
        std::printf("\n%-20s %12s %12s %8s %14s\n", "measurement", "time (ms)", "baseline", "ratio",
                    "ns per line");
        for (const char* name : {"Import", "Export"}) {
            for (int64_t size : kSizes) {
                const std::string arg = "/" + std::to_string(size);
                const std::string measured = name + arg;
                const std::string baseline = std::string(name) + "Baseline" + arg;
                if (!times_.count(measured) || !times_.count(baseline)) continue;
                const double t = times_[measured];
                const double b = times_[baseline];
                std::printf("%-20s %12.3f %12.3f %8.2f %14.1f\n", measured.c_str(), t, b, t / b,
                            t * 1e6 / lines_[measured]);
            }
        }
    }

  private:
    std::map<std::string, double> times_;
    std::map<std::string, double> lines_;
};

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    fixture();
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}
