// Reading and laying out generated images over the SX-T18 main controller
// map, as an upgrade does: load, then fill every block in map order.
#include "image_generator.h"

#include "firmware/address_data_list.h"
#include "firmware/block_fill.h"
#include "flash/flash_map.h"
#include "flash/flash_map_selection.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <map>
#include <memory>
#include <string>

namespace {

const char kProduct[] = "KORVA   SX-T18          1.22";

// One generated file per shape, kept for the whole run.
const std::string& imageFile(std::uint64_t mainMiB, bench::Order order, std::uint64_t* dataBytes) {
    static std::map<std::pair<std::uint64_t, int>, std::pair<std::string, std::uint64_t>> files;
    auto& entry = files[{mainMiB, static_cast<int>(order)}];
    if (entry.first.empty()) {
        entry.first = (std::filesystem::temp_directory_path() /
                       ("refirm-bench-" + std::to_string(mainMiB) + "-" +
                        std::to_string(static_cast<int>(order)) + ".mot"))
                          .string();
        const std::string text = bench::GenerateImage({mainMiB << 20, order}, &entry.second);
        std::FILE* file = std::fopen(entry.first.c_str(), "wb");
        std::fwrite(text.data(), 1, text.size(), file);
        std::fclose(file);
    }
    *dataBytes = entry.second;
    return entry.first;
}

void layOut(benchmark::State& state, bench::Order order, bool fill) {
    std::uint64_t dataBytes = 0;
    const std::string& path =
        imageFile(static_cast<std::uint64_t>(state.range(0)), order, &dataBytes);
    const std::unique_ptr<CFlashMap> map = CreateFlashMapForProduct(kProduct);
    std::uint64_t written = 0;
    for (auto _ : state) {
        CAddressDataList image;
        image.load(path);
        if (!fill)
            continue;
        for (std::int32_t i = 0; map->GetBlockSize(i) != 0; ++i) {
            FilledBlock filled = FillBlock(image, map->GetBlockAddress(i), map->GetBlockSize(i));
            written += filled.coveredBytes;
            benchmark::DoNotOptimize(filled.block->data());
        }
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(dataBytes) * state.iterations());
    state.counters["file_MiB"] = static_cast<double>(std::filesystem::file_size(path)) / (1 << 20);
}

void BM_Load(benchmark::State& state) {
    layOut(state, bench::Order::Ordered, false);
}
void BM_LayOut(benchmark::State& state) {
    layOut(state, bench::Order::Ordered, true);
}
void BM_LayOutShuffled(benchmark::State& state) {
    layOut(state, bench::Order::Shuffled, true);
}
void BM_LayOutOverlapping(benchmark::State& state) {
    layOut(state, bench::Order::Overlapping, true);
}

BENCHMARK(BM_Load)->Arg(24)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LayOut)->Arg(6)->Arg(24)->Arg(96)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LayOutShuffled)->Arg(24)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LayOutOverlapping)->Arg(24)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
