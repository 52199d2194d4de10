// Import and export of large settings texts through the entry table, each beside a baseline
// that does the least work with the same bytes (import: split, trim, std::map; export: one
// fwrite). At the end the ratios to the baselines and the cost per line are printed.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "SettingsTestSupport.h"
#include "SettingsTable.h"

namespace {

inline constexpr auto api = &settings::functionTable;

constexpr std::size_t kFullLines = 23000;
constexpr std::size_t kFullBytes = 0x100000 - 1;

std::string keyOf(std::size_t i) {
    return "section" + std::to_string(i % 37) + ".option_" + std::to_string(i);
}

// About `lines` lines totalling just under `bytes`: integers, booleans, doubles and folder
// texts in turn, padded so that the size grows with the line count.
std::string settingsText(std::size_t lines, std::size_t bytes) {
    std::string text;
    text.reserve(bytes);
    for (std::size_t i = 0; i < lines; ++i) {
        std::string line = keyOf(i) + " = ";
        switch (i % 4) {
            case 0:
                line += std::to_string(i * 7);
                break;
            case 1:
                line += (i % 3) ? "true" : "no";
                break;
            case 2:
                line += std::to_string(i) + ".25";
                break;
            default:
                line += "C:\\Program Files\\Corvid\\c" + std::to_string(i);
                break;
        }
        // Spread the remaining bytes evenly over the remaining lines.
        const std::size_t target = (bytes - text.size()) / (lines - i);
        if (i % 4 == 3 && line.size() + 1 < target)
            line.append(target - line.size() - 1, 'x');
        else if (i % 4 != 3 && line.size() + 1 < target)
            line.append(target - line.size() - 1, ' ');
        line += '\n';
        if (text.size() + line.size() > bytes) break;
        text += line;
    }
    return text;
}

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

std::size_t linesFor(std::int64_t bytes) {
    return static_cast<std::size_t>(kFullLines * static_cast<double>(bytes) / (kFullBytes + 1));
}

std::string textFor(const benchmark::State& state) {
    const auto bytes = static_cast<std::size_t>(state.range(0)) - 1;
    return settingsText(linesFor(state.range(0)), bytes);
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

std::string_view trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
    return s;
}

void ImportBaseline(benchmark::State& state) {
    const std::string text = textFor(state);
    for (auto _ : state) {
        std::map<std::string, std::string> entries;
        std::string_view rest = text;
        while (!rest.empty()) {
            const std::size_t end = rest.find('\n');
            const std::string_view line = rest.substr(0, end);
            rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
            const std::size_t separator = line.find('=');
            if (separator == std::string_view::npos) continue;
            entries.insert_or_assign(std::string(trim(line.substr(0, separator))),
                                     std::string(trim(line.substr(separator + 1))));
        }
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
