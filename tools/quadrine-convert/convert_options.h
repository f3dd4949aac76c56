// quadrine-convert's command line, and the names its outputs get.
#pragma once

#include <string>
#include <utility>
#include <vector>

struct ConvertOptions {
  std::vector<std::string> inputs;
  std::string pattern = "{name}-{page}.png";
  bool pattern_given = false;
  std::string format;  // the extension that picks the format, lower case, without its dot
  double x_dpi = 96;
  double y_dpi = 96;
  int width = -1;  // --size; 0 keeps the page's aspect, -1 means no size was asked for
  int height = -1;
  int depth = 24;
  bool depth_given = false;
  bool grey = false;
  bool area_bounds = false;  // --area bounds: the frame grown to the header's bounds
  bool gdi = false;          // --gdi: EMF+ records left to their GDI stand-ins
  bool skip_blank = false;
  bool reduce_png = true;  // PNG pages as grey levels or a palette where no pixel changes
  bool one_file = false;
  int jobs = 0;  // 0: the number of cores
  bool force = false;
  bool skip_existing = false;  // an output that exists already is left alone, and counted
  bool quiet = false;
  bool recursive = false;  // -R: a folder input's subfolders too
  // --pages: ranges of page numbers from 1, counted in each input; none means every page.
  std::vector<std::pair<int, int>> pages;
};

// The end of an open range of pages ("2-"): the input's last page, whatever it is.
inline constexpr int kToTheLastPage = 0x7FFFFFFF;

// Whether the page (numbered from 1 in its input) is one the options select.
bool PageSelected(const ConvertOptions& options, int number);

// Reads a page list such as "1-3,7,10-" (an open end runs to the last page); false when it is
// none.
bool ParsePageList(const std::string& text, std::vector<std::pair<int, int>>& ranges);

enum class CommandLine { kConvert, kHelp, kVersion, kBadUsage };

// Parses the arguments after the program's name; on bad usage, why goes to error.
CommandLine ParseConvertOptions(const std::vector<std::string>& arguments, ConvertOptions& options,
                                std::string& error);

extern const char kConvertUsage[];

// The pattern with {name}, {page} (four digits or more, from 1) and {doc} replaced.
std::string ExpandOutputPattern(const std::string& pattern, const std::string& name, int page,
                                const std::string& document);

// The lower-case extension of a path's last component, without its dot; empty for none.
std::string ExtensionOf(const std::string& path);
