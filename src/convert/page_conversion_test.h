// The fixture the converter's page tests share: settings in option.ini beside the program.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "convert/page_conversion.h"
#include "services/program_values.h"
#include "services/settings.h"
#include "support/spool_builder.h"
#include "support/test_support.h"

namespace conversion_testing {

using testing_support::MinimalEmf;
using testing_support::TempDir;
using testing_support::WriteFile;

class ConversionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Program().settingsPath = GetOptionIniPath();
    Program().showBar = 0;
    std::remove(Program().settingsPath.c_str());
  }
  void TearDown() override { std::remove(Program().settingsPath.c_str()); }
  static void Set(const char* key, const char* value) {
    WritePrivateProfileStringA("AutoSaveOptions", key, value, Program().settingsPath.c_str());
  }
  FileList Pages(int count) {
    FileList pages;
    for (int i = 0; i < count; ++i) {
      pages.push_back(dir_ / ("page" + std::to_string(i) + ".emf"));
      WriteFile(pages.back(), MinimalEmf());
    }
    return pages;
  }
  TempDir dir_;
};

}  // namespace conversion_testing
