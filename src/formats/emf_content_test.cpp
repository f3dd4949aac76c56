#include "formats/emf_content.h"

#include <gtest/gtest.h>

#include <string>

#include "support/spool_builder.h"

namespace {

using testing_support::EmfPage;
using testing_support::EmfRecord;

bool OnlyEmfPlus(const std::string& page) {
  return HoldsOnlyEmfPlus(
      std::span(reinterpret_cast<const unsigned char*>(page.data()), page.size()));
}

TEST(EmfContent, APageDrawnOnlyThroughEmfPlusIsToldApart) {
  const std::string emf_plus = EmfRecord(70, {8, 0x2B464D45, 0x00014001});
  const std::string other_comment = EmfRecord(70, {8, 0x12345678, 0});
  const std::string rectangle = EmfRecord(43, {0, 0, 10, 10});
  const std::string save_dc = EmfRecord(33, {});
  struct Case {
    std::string page;
    bool only_emf_plus;
  };
  const Case cases[] = {
      {EmfPage(emf_plus + save_dc + emf_plus), true},
      // EMF+ with GDI's own drawing beside it (as GDI+ writes by default) draws.
      {EmfPage(emf_plus + rectangle), false},
      {EmfPage(rectangle + emf_plus), false},
      {EmfPage(other_comment + save_dc), false},
      // The EMR_BITBLT that GDI+ writes of the raster operation that leaves the page as it
      // is draws nothing; one of any other operation draws.
      {EmfPage(emf_plus + EmfRecord(76, {0, 0, 10, 10, 0, 0, 10, 10, 0x00AA0029}) + emf_plus),
       true},
      {EmfPage(emf_plus + EmfRecord(76, {0, 0, 10, 10, 0, 0, 10, 10, 0x00CC0020})), false},
      {EmfPage(emf_plus + EmfRecord(76, {0, 0, 10, 10})), false},
      {EmfPage(""), false},
      // A record that cannot be walked past ends the walk: what came before decides.
      {EmfPage(emf_plus + EmfRecord(43, {}).replace(4, 4, std::string(4, '\0')) + rectangle), true},
      {emf_plus, false},  // no header first: no page
  };
  for (const Case& c : cases) {
    EXPECT_EQ(OnlyEmfPlus(c.page), c.only_emf_plus) << &c - cases;
  }
}

}  // namespace
