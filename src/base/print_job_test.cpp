#include "base/print_job.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(SafeDocumentName, KeepsWhatAFileNameMayHoldAndNothingThatLeavesItsFolder) {
  struct Case {
    std::string document;
    std::string safe;
  };
  const Case cases[] = {
      {"Report 2026.docx", "Report 2026.docx"},
      {"C:\\Users\\me\\My letter.doc", "My letter.doc"},
      {"..\\..\\x", "x"},
      {"../../etc/passwd", "passwd"},
      {"/home/me/notes.txt", "notes.txt"},
      {"a/..", ""},
      {"..", ""},
      {"  spaced  ", "spaced"},
      {". .hidden. .", "hidden"},
      {"semi;colon|pipe*star\"quote<>?:", "semicolonpipestarquote"},
      {"tab\there\nnew\rline\x01", "tabherenewline"},
      {"\xC3\xA9t\xC3\xA9", "t"},
      {"\xFF\xFE\xC3(bad utf-8)", "bad utf-8"},
      {"CON", "_CON"},
      {"con.txt", "_con.txt"},
      {"Nul .pdf", "_Nul .pdf"},
      {"LPT1", "_LPT1"},
      {"COM9.doc", "_COM9.doc"},
      {"CONSOLE", "CONSOLE"},
      {"COM10", "COM10"},
      {"CON" + std::string(61, ' ') + "x", "_CON"},
      {"", ""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(SafeDocumentName(c.document), c.safe) << c.document;
  }
  EXPECT_EQ(SafeDocumentName(std::string(5000, 'x')), std::string(64, 'x'));
  // Cut at 64 bytes, a name ends in no blank.
  EXPECT_EQ(SafeDocumentName(std::string(63, 'x') + "  tail"), std::string(63, 'x'));
}

TEST(SafeDocumentName, ALongNameIsCutAtACharactersStart) {
  EXPECT_EQ(CutDocumentName("short"), "short");
  EXPECT_EQ(CutDocumentName(std::string(5000, 'a')).size(), 1024u);
  // "\xE2\x82\xAC" (the euro sign) across the cut goes whole.
  EXPECT_EQ(CutDocumentName("ab\xE2\x82\xAC", 3), "ab");
  EXPECT_EQ(CutDocumentName("ab\xE2\x82\xAC", 5), "ab\xE2\x82\xAC");
}

TEST(SafeDocumentName, ControlCharactersBecomeBlanksInATitleAndAreEscapedInALine) {
  EXPECT_EQ(WithoutControlCharacters("a\tb\nc\x7F"
                                     "d"),
            "a b c d");
  EXPECT_EQ(WithoutControlCharacters("R\xC3\xA9sum\xC3\xA9"), "R\xC3\xA9sum\xC3\xA9");
  for (const std::string name : {"plain", "tab\there\nline\r", "C:\\x\\y", "\\x41 stays",
                                 "R\xC3\xA9sum\xC3\xA9\x7F", "ends in \\"}) {
    const std::string field = EscapedField(name);
    EXPECT_EQ(field.find_first_of("\t\n\r\x7F"), std::string::npos) << field;
    EXPECT_EQ(UnescapedField(field), name) << field;
  }
  EXPECT_EQ(EscapedField("a\tb\\"), "a\\x09b\\x5C");
}

}  // namespace
