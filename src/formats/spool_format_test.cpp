#include "formats/spool_format.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/spool_builder.h"

namespace {

using testing_support::Append32;
using testing_support::MinimalEmf;
using testing_support::SpoolFileBuilder;

std::span<const unsigned char> Bytes(const std::string& text) {
  return {reinterpret_cast<const unsigned char*>(text.data()), text.size()};
}

TEST(PageScan, EachPageByItsOwnHeader) {
  const std::string page = MinimalEmf();
  const std::string other_header_size = MinimalEmf(88);
  std::string no_signature = page;
  no_signature[40] = 'X';
  std::string short_header = page;
  short_header[4] = 84;  // a header record below 88 bytes is no EMF's
  // A page that carries another EMF in a comment record: one page, the comment inside it.
  std::string comment;
  Append32(comment, 70);  // EMR_GDICOMMENT
  Append32(comment, static_cast<uint32_t>(12 + page.size()));
  Append32(comment, static_cast<uint32_t>(page.size()));
  const std::string nested = testing_support::EmfPage(comment + page);
  struct Case {
    std::string name;
    std::string file;
    std::vector<SpoolPage> expected;
    bool incomplete;
  };
  const std::string pad(24, '\x01');
  const size_t n = page.size();
  const size_t m = other_header_size.size();
  const Case cases[] = {
      {"header at offset 0 is never a page", page + page, {{n, n}}, false},
      {"two pages behind records", pad + page + pad + page, {{24, n}, {48 + n, n}}, false},
      {"headers of different sizes are all found",
       pad + page + other_header_size + pad + page,
       {{24, n}, {24 + n, m}, {48 + n + m, n}},
       false},
      {"no signature, no page", pad + no_signature, {}, false},
      {"a header record below 88 bytes", pad + short_header, {}, false},
      {"the last page runs past the end",
       pad + page + pad + page.substr(0, n - 4),
       {{24, n}},
       true},
      {"an EMF inside a page", pad + nested, {{24, nested.size()}}, false},
      {"signature past the end", pad + page.substr(0, 43), {}, false},
      {"empty", "", {}, false},
  };
  for (const Case& c : cases) {
    const SpoolPages found = FindPages(Bytes(c.file));
    EXPECT_EQ(found.pages, c.expected) << c.name;
    EXPECT_EQ(found.lastIncomplete, c.incomplete) << c.name;
  }
}

TEST(FileKinds, TellPagesSpoolFilesAndOtherJobsApart) {
  struct Case {
    std::string head;
    FileKind kind;
  };
  const Case cases[] = {
      {MinimalEmf(), FileKind::kEmfPage},
      {SpoolFileBuilder("doc").Page(MinimalEmf()).Build(), FileKind::kEmfSpool},
      {std::string("PK\x03\x04", 4) + std::string(40, '\0'), FileKind::kXpsSpool},
      {"%!PS-Adobe-3.0\n", FileKind::kPdlSpool},
      {"\x1b%-12345X@PJL\n", FileKind::kPdlSpool},
      {MinimalEmf().substr(0, 43), FileKind::kUnknown},  // cut before its signature
      {"", FileKind::kUnknown},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(KindOfFile(Bytes(c.head)), c.kind) << FileKindName(c.kind);
  }
}

TEST(SpoolDocumentName, IsTheHeadersUtf16NameAsUtf8) {
  EXPECT_EQ(SpoolDocumentName(Bytes(SpoolFileBuilder("Report 2026.docx").Build())),
            "Report 2026.docx");
  // Characters past Latin-1, a pair of surrogates, and a lone surrogate.
  std::string header;
  Append32(header, 0x00010000);
  Append32(header, 32);
  Append32(header, 16);
  Append32(header, 0);
  for (uint16_t unit : {0x00E9, 0x20AC, 0xD83D, 0xDE00, 0xDC00, 0x0000, 0, 0}) {
    header += static_cast<char>(unit & 0xFF);
    header += static_cast<char>(unit >> 8);
  }
  EXPECT_EQ(SpoolDocumentName(Bytes(header)), "\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80\xEF\xBF\xBD");
  // A name without its zero inside the header record, or an offset into the header: none.
  std::string unended = header;
  unended[4] = 24;
  EXPECT_EQ(SpoolDocumentName(Bytes(unended)), "");
  std::string inside = header;
  inside[8] = 4;
  EXPECT_EQ(SpoolDocumentName(Bytes(inside)), "");
  EXPECT_EQ(SpoolDocumentName(Bytes(MinimalEmf())), "");
}

}  // namespace
