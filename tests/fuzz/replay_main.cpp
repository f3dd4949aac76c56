// Replays inputs through a fuzz target without libFuzzer: each argument is a file, or a
// folder whose files are all replayed. Exits non-zero through a crash, a sanitizer, or an
// argument that names nothing (a replay of missing seeds proves nothing).
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace {

void Replay(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  const std::vector<char> bytes((std::istreambuf_iterator<char>(in)),
                                std::istreambuf_iterator<char>());
  LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
}

}  // namespace

int main(int argc, char** argv) {
  size_t count = 0;
  for (int i = 1; i < argc; ++i) {
    const std::filesystem::path path = argv[i];
    if (std::filesystem::is_directory(path)) {
      for (const auto& entry : std::filesystem::recursive_directory_iterator(path)) {
        if (entry.is_regular_file()) {
          Replay(entry.path());
          ++count;
        }
      }
    } else if (std::filesystem::exists(path)) {
      Replay(path);
      ++count;
    } else {
      std::fprintf(stderr, "no such seed file or folder: %s\n", argv[i]);
      return 1;
    }
  }
  // Always one empty input, so the target runs even without seeds.
  LLVMFuzzerTestOneInput(nullptr, 0);
  std::printf("replayed %zu inputs\n", count + 1);
  return 0;
}
