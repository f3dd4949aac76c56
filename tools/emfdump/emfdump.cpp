// emfdump: prints a page's records as text, one a line: index, offset, name, size and the
// record's 32-bit words (as signed integers), so rendering questions are quick to answer. The
// page may be an EMF file, one page of a spool file in the EMF format, or a Windows metafile
// (whose records are 16-bit words).
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "base/text_util.h"
#include "base/usage_error.h"
#include "emf/records/byte_reader.h"
#include "emf/records/metafile.h"
#include "emf/records/records.h"
#include "emf/wmf/wmf_reader.h"
#include "emfplus/record_table.h"
#include "emfplus/records.h"
#include "formats/spool_format.h"
#include "page/page.h"

namespace {

int Usage(std::FILE* to, int exit_code) {
  std::fprintf(to,
               "usage: emfdump [--page N] [--text] PAGE [MAX-WORDS]\n"
               "Prints the page's header and its records, one a line: index, offset, name, size\n"
               "and the first MAX-WORDS 32-bit words (default 16) as signed integers; a text\n"
               "record's string follows in quotes, or its count of glyph indices. The EMF+\n"
               "records inside a comment follow it, one a line after a +, with their flags.\n"
               "  PAGE        an EMF file, a spool file in the EMF format, or a Windows\n"
               "              metafile (WMF; its records' 16-bit words are shown)\n"
               "  --page N    the page of a spool file, from 1 (default 1)\n"
               "  --text      only the strings of the page's text records, one a line\n"
               "  --help, --version\n");
  return exit_code;
}

struct Arguments {
  std::string path;
  size_t max_words = 16;
  int page = 1;
  bool text_only = false;
};

constexpr int kGoOn = -1;

// kGoOn, or the exit status when there is nothing to dump (help, version, bad usage).
int Parse(int argc, char** argv, Arguments& arguments) {
  std::vector<std::string> positional;
  for (int i = 1; i < argc; ++i) {
    const std::string argument = argv[i];
    if (argument == "--help") {
      return Usage(stdout, 0);
    }
    if (argument == "--version") {
      std::printf("emfdump %s\n", QUADRINE_VERSION);
      return 0;
    }
    if (argument == "--text") {
      arguments.text_only = true;
    } else if (argument == "--page" && i + 1 < argc) {
      arguments.page = std::atoi(argv[++i]);
    } else if (argument.starts_with("--")) {
      return UsageError("emfdump", UnknownArgument(argument));
    } else {
      positional.push_back(argument);
    }
  }
  if (positional.empty()) {
    return UsageError("emfdump", "no page to dump");
  }
  if (positional.size() > 2) {
    return UsageError("emfdump", UnknownArgument(positional[2]));
  }
  if (arguments.page < 1) {
    return UsageError("emfdump", "--page takes a page number from 1");
  }
  arguments.path = positional[0];
  if (positional.size() == 2) {
    arguments.max_words = std::strtoul(positional[1].c_str(), nullptr, 10);
  }
  return kGoOn;
}

// The string of an EMR_EXTTEXTOUTA/W record as UTF-8, or "(N glyphs)" for a run of glyph
// indices; empty for other records and for a string that lies outside the record.
std::string TextOfRecord(const emf::Record& record) {
  const bool wide = record.type == emf::kEmrExtTextOutW;
  if (!wide && record.type != emf::kEmrExtTextOutA) {
    return {};
  }
  // EMRTEXT follows the bounds, the graphics mode, the two scales and the reference point.
  emf::ByteReader reader(record.bytes);
  reader.Skip(44);
  const uint32_t count = reader.U32();
  const uint32_t offset = reader.U32();
  const uint32_t options = reader.U32();
  if (!reader.Ok()) {
    return {};
  }
  if ((options & 0x10) != 0) {  // ETO_GLYPH_INDEX
    char glyphs[32];
    std::snprintf(glyphs, sizeof glyphs, "(%u glyphs)", count);
    return glyphs;
  }
  emf::ByteReader chars(record.bytes);
  chars.Seek(offset);
  std::string utf8;
  for (uint32_t i = 0; i < count && chars.Ok(); ++i) {
    const char32_t c = wide ? chars.U16() : chars.U8();
    if (chars.Ok()) {
      AppendUtf8(utf8, c < 0x20 ? U'?' : c);
    }
  }
  return chars.Ok() ? utf8 : std::string();
}

// The string of a META_TEXTOUT or META_EXTTEXTOUT record, bytes above 0x7F as Latin-1;
// empty for other records.
std::string TextOfWmfRecord(const emf::WmfRecord& record) {
  emf::ByteReader reader(record.bytes);
  reader.Skip(6);
  size_t count = 0;
  if (record.function == 0x0521) {  // META_TEXTOUT: the count, then the string
    count = reader.U16();
  } else if (record.function == 0x0A32) {  // META_EXTTEXTOUT: y, x, count, options, [rect]
    reader.Skip(4);
    count = reader.U16();
    if ((reader.U16() & 0x6) != 0) {
      reader.Skip(8);
    }
  } else {
    return {};
  }
  const auto bytes = reader.Bytes(count);
  std::string utf8;
  for (uint8_t c : bytes) {
    AppendUtf8(utf8, c < 0x20 ? U'?' : static_cast<char32_t>(c));
  }
  return utf8;
}

// The EMF+ records inside a comment record, one a line: name, flags, size and words; an
// object record names its kind and slot.
void DumpEmfPlus(const emf::Record& record, size_t max_words) {
  bool cut_short = false;
  for (const emfplus::Record& plus : emfplus::SplitRecords(emf::CommentData(record), &cut_short)) {
    const char* name = emfplus::RecordName(plus.type);
    char unknown[32];
    std::snprintf(unknown, sizeof unknown, "EmfPlusUnknown(0x%04X)", plus.type);
    std::string label = name != nullptr ? name : unknown;
    if (plus.type == emfplus::kObject) {
      label += std::string(" ") + emfplus::ObjectKindName((plus.flags >> 8) & 0x7F) + " #" +
               std::to_string(plus.flags & 0xFF) + ((plus.flags & 0x8000) != 0 ? " (goes on)" : "");
    }
    std::printf("               + %-36s 0x%04X %6zu:", label.c_str(), plus.flags, plus.data.size());
    emf::ByteReader reader(plus.data);
    for (size_t i = 0; i < max_words && reader.Has(4); ++i) {
      std::printf(" %d", reader.I32());
    }
    std::printf("%s\n", reader.Remaining() >= 4 ? " ..." : "");
  }
  if (cut_short) {
    std::printf("               + (the records run past the comment's end)\n");
  }
}

// A Windows metafile: its header, then a line a record with its 16-bit words.
int DumpWmf(const Arguments& arguments, std::span<const uint8_t> data) {
  std::string error;
  const auto file = emf::WmfFile::Parse(data, &error);
  if (!file) {
    std::fprintf(stderr, "emfdump: %s: %s\n", arguments.path.c_str(), error.c_str());
    return 1;
  }
  if (arguments.text_only) {
    for (const emf::WmfRecord& record : file->records()) {
      if (const std::string text = TextOfWmfRecord(record); !text.empty()) {
        std::printf("%s\n", text.c_str());
      }
    }
    return 0;
  }
  const emf::WmfHeader& h = file->header();
  if (h.placeable) {
    std::printf("placeable box %d %d %d %d at %u units an inch\n", h.left, h.top, h.right, h.bottom,
                h.units_per_inch);
  }
  std::printf("Windows metafile version 0x%X, %u words, %u objects, largest record %u words%s\n",
              h.version, h.size_words, h.objects, h.max_record_words,
              file->truncated() ? "  (cut short)" : "");
  size_t index = 0;
  for (const emf::WmfRecord& record : file->records()) {
    const size_t offset = static_cast<size_t>(record.bytes.data() - data.data());
    std::printf("%5zu %8zu %-28s %6zu:", index++, offset, emf::WmfRecordName(record.function),
                record.bytes.size());
    emf::ByteReader reader(record.bytes);
    reader.Skip(6);
    for (size_t i = 0; i < arguments.max_words && reader.Has(2); ++i) {
      std::printf(" %d", reader.I16());
    }
    const std::string text = TextOfWmfRecord(record);
    std::printf("%s%s%s%s\n", reader.Remaining() >= 2 ? " ..." : "", text.empty() ? "" : "  \"",
                text.c_str(), text.empty() ? "" : "\"");
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  Arguments arguments;
  if (const int status = Parse(argc, argv, arguments); status != kGoOn) {
    return status;
  }
  const size_t max_words = arguments.max_words;
  std::ifstream in(arguments.path, std::ios::binary);
  if (!in) {
    std::fprintf(stderr, "emfdump: %s: cannot be opened\n", arguments.path.c_str());
    return 1;
  }
  const std::vector<uint8_t> data((std::istreambuf_iterator<char>(in)),
                                  std::istreambuf_iterator<char>());
  std::string error;
  page::InputPages found;
  SpoolPage span;
  if (!page::FindInputPages(data, found, error) ||
      !page::SelectPage(found, arguments.page, span, error)) {
    std::fprintf(stderr, "emfdump: %s: %s\n", arguments.path.c_str(), error.c_str());
    return 1;
  }
  if (found.kind == page::InputKind::kWmf) {
    return DumpWmf(arguments, data);
  }
  if (found.kind == page::InputKind::kEmfSpool && !arguments.text_only) {
    std::printf("spool file, document \"%s\", page %d of %zu at offset %zu\n",
                found.document.c_str(), arguments.page, found.pages.size(), span.offset);
  }
  page::Page opened;
  // The records as they are, and what GDI makes of them (a page of EMF+ drawing only is named).
  page::OpenOptions as_gdi;
  as_gdi.gdi = true;
  if (!page::OpenPage(std::span(data).subspan(span.offset, span.size), as_gdi, opened, error)) {
    std::fprintf(stderr, "emfdump: %s: %s\n", arguments.path.c_str(), error.c_str());
    return 1;
  }
  const emf::Metafile* file = &*opened.file;
  if (arguments.text_only) {
    for (const emf::Record& record : file->records()) {
      if (const std::string text = TextOfRecord(record); !text.empty()) {
        std::printf("%s\n", text.c_str());
      }
    }
    return 0;
  }
  const emf::Header& h = file->header();
  std::printf(
      "bounds %d %d %d %d  frame %d %d %d %d  device %dx%d px %dx%d mm  %u records  "
      "%u handles%s\n",
      h.bounds.left, h.bounds.top, h.bounds.right, h.bounds.bottom, h.frame.left, h.frame.top,
      h.frame.right, h.frame.bottom, h.device.cx, h.device.cy, h.millimeters.cx, h.millimeters.cy,
      h.records, h.handles, file->truncated() ? "  (cut short)" : "");
  size_t index = 0;
  for (const emf::Record& record : file->records()) {
    const size_t offset = static_cast<size_t>(record.bytes.data() - file->data().data());
    std::printf("%5zu %8zu %-28s %6zu:", index++, offset, emf::RecordName(record.type),
                record.bytes.size());
    emf::ByteReader reader(record.bytes);
    reader.Skip(8);
    for (size_t i = 0; i < max_words && reader.Has(4); ++i) {
      std::printf(" %d", reader.I32());
    }
    const std::string text = TextOfRecord(record);
    std::printf("%s%s%s%s\n", reader.Remaining() >= 4 ? " ..." : "", text.empty() ? "" : "  \"",
                text.c_str(), text.empty() ? "" : "\"");
    if (record.type == emf::kEmrGdiComment) {
      DumpEmfPlus(record, max_words);
    }
  }
  // What the records alone do not make plain: a drawing GDI leaves out, or cuts off.
  if (opened.notes.emf_plus_only) {
    std::fprintf(stderr, "emfdump: %s page %d %s\n", arguments.path.c_str(), arguments.page,
                 page::kEmfPlusOnly);
  }
  if (opened.notes.outside_frame) {
    std::fprintf(stderr, "emfdump: %s page %d draws outside its frame\n", arguments.path.c_str(),
                 arguments.page);
  }
  return 0;
}
