// quadrine-results: prints the list of files that the last conversion run published in the
// shared block "Quadrine" (on POSIX /Quadrine.UID, the user's own), and on POSIX with
// --remove removes the block afterwards.
#include <cstdio>
#include <string>
#include <string_view>

#include "base/usage_error.h"
#include "published_list.h"

namespace {

int Usage(std::FILE* to, int exit_code) {
  std::fprintf(to,
               "usage: quadrine-results%s\n"
               "Prints the files that the last conversion run created, one per line.\n%s"
               "  --help, --version\n",
               kCanRemoveBlock ? " [--remove]" : "",
               kCanRemoveBlock ? "  --remove  remove the shared block after printing it\n" : "");
  return exit_code;
}

}  // namespace

int main(int argc, char** argv) {
  bool remove = false;
  for (int i = 1; i < argc; ++i) {
    const std::string_view argument = argv[i];
    if (argument == "--remove" && kCanRemoveBlock) {
      remove = true;
    } else if (argument == "--help") {
      return Usage(stdout, 0);
    } else if (argument == "--version") {
      std::printf("quadrine-results %s\n", QUADRINE_VERSION);
      return 0;
    } else {
      return UsageError("quadrine-results", UnknownArgument(std::string(argument)));
    }
  }
  std::string list;
  std::string error;
  if (!ReadPublishedList(list, error)) {
    std::fprintf(stderr, "quadrine-results: %s\n", error.c_str());
    return 1;
  }
  std::fwrite(list.data(), 1, list.size(), stdout);
  if (remove && !RemovePublishedList(error)) {
    std::fprintf(stderr, "quadrine-results: %s\n", error.c_str());
    return 1;
  }
  return 0;
}
