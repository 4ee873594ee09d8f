// Runs a fuzz target's LLVMFuzzerTestOneInput without libFuzzer, so that every build (g++
// included) can run it in the test suite: first every file of the given corpus folders
// (or files), then a number of pseudo-random inputs from a fixed seed.
//
//   replay_<target> [--random N] [--max-length N] [--seed N] PATH...
//
// A target reports a broken invariant by aborting; the exit status is 0 when every input
// went through.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);
extern "C" __attribute__((weak)) int LLVMFuzzerInitialize(int* argc, char*** argv);

namespace {

std::vector<std::uint8_t> ReadFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void Run(const std::vector<std::uint8_t>& input) {
    // A copy of exactly the input's size, so that a read past its end is caught.
    auto* copy = static_cast<std::uint8_t*>(std::malloc(input.size() ? input.size() : 1));
    if (!input.empty())
        std::memcpy(copy, input.data(), input.size());
    LLVMFuzzerTestOneInput(copy, input.size());
    std::free(copy);
}

} // namespace

int main(int argc, char** argv) {
    if (LLVMFuzzerInitialize)
        LLVMFuzzerInitialize(&argc, &argv);

    unsigned long randomCount = 1000;
    std::size_t maxLength = 4096;
    unsigned long seed = 20240601;
    std::vector<std::filesystem::path> paths;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (i + 1 < argc && arg == "--random")
            randomCount = std::strtoul(argv[++i], nullptr, 10);
        else if (i + 1 < argc && arg == "--max-length")
            maxLength = std::strtoul(argv[++i], nullptr, 10);
        else if (i + 1 < argc && arg == "--seed")
            seed = std::strtoul(argv[++i], nullptr, 10);
        else
            paths.emplace_back(arg);
    }

    std::vector<std::filesystem::path> files;
    for (const auto& path : paths) {
        if (std::filesystem::is_directory(path)) {
            for (const auto& entry : std::filesystem::directory_iterator(path))
                if (entry.is_regular_file())
                    files.push_back(entry.path());
        } else if (std::filesystem::is_regular_file(path)) {
            files.push_back(path);
        } else {
            std::fprintf(stderr, "replay: %s: no such file or folder\n", path.c_str());
            return 2;
        }
    }
    std::sort(files.begin(), files.end());

    // Seeds first, then mutations of them and fresh random inputs.
    std::vector<std::vector<std::uint8_t>> seeds;
    for (const auto& file : files) {
        seeds.push_back(ReadFile(file));
        Run(seeds.back());
    }

    std::mt19937_64 random(seed);
    for (unsigned long n = 0; n < randomCount; ++n) {
        std::vector<std::uint8_t> input;
        if (!seeds.empty() && n % 2 == 0) {
            input = seeds[random() % seeds.size()];
            const std::size_t flips = 1 + random() % 8;
            for (std::size_t k = 0; k < flips && !input.empty(); ++k)
                input[random() % input.size()] = static_cast<std::uint8_t>(random());
            if (random() % 4 == 0 && input.size() < maxLength)
                input.resize(input.size() + random() % 64, static_cast<std::uint8_t>(random()));
        } else {
            input.resize(random() % (maxLength + 1));
            for (auto& byte : input)
                byte = static_cast<std::uint8_t>(random());
        }
        if (input.size() > maxLength)
            input.resize(maxLength);
        Run(input);
    }
    std::printf("replay: %zu corpus inputs and %lu random inputs ran\n", files.size(), randomCount);
    return 0;
}
