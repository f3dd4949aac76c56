#include "support/test_support.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace testing_support {

TempDir::~TempDir() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream content;
  content << in.rdbuf();
  return content.str();
}

std::string PngSize(const std::string& path) {
  const std::string bytes = ReadFile(path);
  if (bytes.size() < 24) {
    return "no PNG";
  }
  const auto word = [&](size_t at) {  // big-endian, in the IHDR chunk
    return std::to_string(
        static_cast<uint8_t>(bytes[at]) << 24 | static_cast<uint8_t>(bytes[at + 1]) << 16 |
        static_cast<uint8_t>(bytes[at + 2]) << 8 | static_cast<uint8_t>(bytes[at + 3]));
  };
  return word(16) + " x " + word(20);
}

std::string ReadTextFile(const std::string& path) {
  std::ifstream in(path);
  std::ostringstream content;
  content << in.rdbuf();
  return content.str();
}

void WriteFile(const std::string& path, const std::string& content) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << content;
}

bool FileExists(const std::string& path) {
  return std::filesystem::exists(path);
}

std::string BuildDir() {
  const char* dir = std::getenv("QUADRINE_TEST_BIN_DIR");
  return dir ? dir : ".";
}

bool FaultSwitchBuilt() {
#ifdef QUADRINE_FAULT_SWITCH_BUILT
  return true;
#else
  return false;
#endif
}

}  // namespace testing_support
