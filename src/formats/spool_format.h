// The EMF spool file as bytes: what a file is by its first bytes, its pages found by their
// own EMF headers, and the document name its header carries. No file system here.
#pragma once

#include <cstddef>
#include <span>
#include <string>
#include <vector>

// What a file's first bytes say it is.
enum class FileKind {
  kEmfPage,   // an enhanced metafile: record type 1 with " EMF" at offset 40
  kEmfSpool,  // a Windows spool file in the EMF format (version 0x00010000)
  kXpsSpool,  // a ZIP package, as Windows spools XPS jobs
  kPdlSpool,  // printer language: PostScript or PCL
  kUnknown,
};
FileKind KindOfFile(std::span<const unsigned char> head);
// What a kind is called in a message ("an XPS spool file").
const char* FileKindName(FileKind kind);

// One page of a spool file: its EMF, from its header record for the byte count that header
// gives.
struct SpoolPage {
  size_t offset = 0;
  size_t size = 0;
  bool operator==(const SpoolPage&) const = default;
};

struct SpoolPages {
  std::vector<SpoolPage> pages;
  bool lastIncomplete = false;  // a page runs past the data: the file is still being written
};

// Finds each page by its own EMF header (record type 1, " EMF" at +40, a header record of 88
// bytes or more in whole words, a byte count that holds the header), so pages whose headers
// differ in size are all found; the scan goes on behind each page's last byte, so an EMF
// inside a page is part of that page. Offset 0 is never a page.
SpoolPages FindPages(std::span<const unsigned char> file);

// The document name in the spool file's header (UTF-16 at the offset the header gives, ended
// by a zero within the header record), as UTF-8; empty when there is none or it is damaged.
std::string SpoolDocumentName(std::span<const unsigned char> file);
