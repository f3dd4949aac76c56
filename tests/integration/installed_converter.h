// A converter copied into a fresh install folder, as the printer package lays it out.
#pragma once

#include <string>
#include <vector>

#include "support/test_support.h"

namespace testing_support {

class InstalledConverter {
 public:
  InstalledConverter();
  const std::string& folder() const { return install_.path(); }
  std::string operator/(const std::string& name) const { return install_ / name; }

  // Runs the converter from another working directory.
  ProcessResult Run(const std::vector<std::string>& arguments = {},
                    const std::vector<std::string>& environment = {}) const;

  // Runs quadrine-print from the install folder (and so the converter it starts).
  ProcessResult Print(const std::vector<std::string>& arguments,
                      const std::vector<std::string>& environment = {}) const;
  std::string SpoolFolder() const;
  std::string Queue() const;
  void SetQueue(const std::string& text) const;
  const std::string& elsewhere() const { return elsewhere_.path(); }

  // A value of option.ini or config.ini, or "<missing>".
  std::string Option(const char* section, const char* key) const;
  std::string Config(const char* section, const char* key) const;
  void SetOption(const char* section, const char* key, const char* value) const;
  void SetConfig(const char* section, const char* key, const char* value) const;
  std::string Log() const;

 private:
  TempDir install_;
  TempDir elsewhere_;
};

}  // namespace testing_support
