// Fuzz target for the spool file reader: any bytes as a spool file, cut into page files.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "services/program_values.h"
#include "spool/spool_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  namespace fs = std::filesystem;
  static const fs::path root = [] {
    std::string pattern = (fs::temp_directory_path() / "quadrine-fuzz-XXXXXX").string();
    const char* made = mkdtemp(pattern.data());
    fs::path folder = made ? made : "/tmp";
    setenv("WINDIR", (folder / "windows").c_str(), 1);  // no printer: job control fails cleanly
    Program().printerName = "Quadrine";
    return folder;
  }();
  const fs::path spool = root / "00001.SPL";
  const fs::path out = root / "out";
  fs::create_directories(out);
  {
    std::ofstream file(spool, std::ios::binary | std::ios::trunc);
    file.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  }
  FileList list;
  ReadBinaryDataFile(spool.string(), out.string(), list);
  std::error_code ignored;
  fs::remove_all(out, ignored);
  fs::remove(spool, ignored);
  return 0;
}
