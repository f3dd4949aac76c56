// A small program for the runner and hook tests: quadrine-test-helper MODE [ARGS...].
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

int main(int argc, char** argv) {
  const std::string mode = argc > 1 ? argv[1] : "silent";
  if (mode == "flood") {
    const long total = argc > 2 ? std::atol(argv[2]) : 20000;
    std::string chunk;
    for (long i = 0; i < total; ++i) {
      chunk += static_cast<char>('a' + i % 26);
      if (chunk.size() == 1000 || i + 1 == total) {
        (void)!write(1, chunk.data(), chunk.size());
        chunk.clear();
      }
    }
  } else if (mode == "backspace") {
    (void)!write(2, "a\bb\bc", 5);
  } else if (mode == "zero") {
    (void)!write(1, "ab\0cd", 5);
  } else if (mode == "close-early") {
    close(1);
    close(2);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
  } else if (mode == "exit" && argc > 2) {
    return std::atoi(argv[2]);
  } else if (mode == "sleep" && argc > 2) {
    std::this_thread::sleep_for(std::chrono::milliseconds(std::atol(argv[2])));
  } else if (mode == "args") {
    // args ARGS...: each argument on a line of its own, as the C runtime cut them.
    for (int i = 2; i < argc; ++i) {
      std::printf("%s\n", argv[i]);
    }
  } else if (mode == "record" && argc > 3) {
    // record FILE TAG ARGS...: appends the tag, the arguments and the list file's lines.
    std::ofstream out(argv[2], std::ios::app);
    out << argv[3] << ":";
    for (int i = 4; i < argc; ++i) {
      out << " [" << argv[i] << "]";
    }
    out << "\n";
    std::ifstream list(argv[argc - 1]);
    std::stringstream content;
    content << list.rdbuf();
    out << content.str();
    std::printf("recorded\n");
  } else if (mode == "capture" && argc > 3) {
    // capture FILE PROGRAM [ARGS...]: runs the program (a path without blanks) with its output
    // going to FILE; the hook runner drops a hook's own output.
    if (std::freopen(argv[2], "w", stdout) == nullptr) {
      return 1;
    }
    std::string command = argv[3];
    for (int i = 4; i < argc; ++i) {
      command += std::string(" ") + argv[i];
    }
    return std::system(command.c_str()) == 0 ? 0 : 1;
  }
  return 0;
}
