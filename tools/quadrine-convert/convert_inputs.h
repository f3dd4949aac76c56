// quadrine-convert's inputs: told by their first bytes, read when their pages are converted
// and let go after, folders expanded into the pages and spool files they hold.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "page/page.h"

// An input's bytes, read when the first of its pages is converted and let go after its last,
// so that memory holds the inputs being converted, not every input named.
struct InputBytes {
  std::mutex mutex;
  std::vector<uint8_t> bytes;
  bool read = false;
  bool kept = false;  // standard input: read once, when it is told
  size_t tasks_left = 0;
  std::string failure;  // why it could not be read when its pages were converted
};

struct Input {
  std::string path;
  page::InputKind kind = page::InputKind::kOther;  // by its first bytes
  std::string document;                            // a spool file's document name
  dev_t device = 0;  // which file it is, so that no output replaces it
  ino_t inode = 0;
  std::shared_ptr<InputBytes> data = std::make_shared<InputBytes>();
};

// Standard input is read whole, once, and held while it is converted: up to this much.
inline constexpr size_t kMaxStandardInput = size_t{256} << 20;
// An EMF page or a Windows metafile is one page, the whole file, however long it is then.
inline constexpr size_t kWholeInput = SIZE_MAX;

inline constexpr const char* kStandardStream = "-";

// Tells the input by its first bytes (a spool file is read through for its pages, then let
// go); standard input is read whole, up to kMaxStandardInput. bytes holds what was read.
bool TellInput(const std::string& path, Input& input, std::vector<uint8_t>& bytes,
               std::string& error);

// The input's bytes for one of its pages, read (and a Windows metafile converted into the
// EMF page Windows makes of it, a placeable one at the output's resolution) by the first;
// false with why when they cannot be.
bool TakeBytes(const Input& input, double dpi, std::string& error);

// After the input's last page, its bytes go.
void GiveBackBytes(const Input& input);

// The inputs with each folder replaced by its files that are pages or spool files (by their
// first bytes), in name order; with recursive its subfolders' too. Other files are named and
// left out: a folder holds what it holds. A folder that cannot be read is named, the rest is
// converted, and unreadable is set.
std::vector<std::string> ExpandFolders(const std::vector<std::string>& inputs, bool recursive,
                                       bool& unreadable);

// An input's name without its folder and extension ("stdin" for standard input).
std::string BaseNameWithoutExtension(const std::string& path);
