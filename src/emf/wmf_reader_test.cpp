#include "emf/wmf_reader.h"

#include <gtest/gtest.h>

namespace emf {
namespace {

TEST(WmfReader, Placeholder) {}

}  // namespace
}  // namespace emf
