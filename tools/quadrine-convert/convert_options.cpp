#include "convert_options.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <string_view>
#include <utility>

const char kConvertUsage[] =
    "usage: quadrine-convert [OPTIONS] INPUT...\n"
    "Turns EMF pages, Windows metafiles (WMF) and Windows spool files (EMF format) into one\n"
    "image per page; the inputs are never changed.\n"
    "  INPUT                 EMF page, Windows metafile or spool file, told apart by content;\n"
    "                        - reads standard input; a folder gives its pages, metafiles and\n"
    "                        spool files, in name order\n"
    "  -R, --recursive       a folder's subfolders too\n"
    "  -o, --output PATTERN  output path, - for standard output (one file only); its\n"
    "                        extension picks the format (default\n"
    "                        \"{name}-{page}.png\"): {name} the input's name without its\n"
    "                        extension, {page} the page number from 1 in four digits, {doc} the\n"
    "                        document name a spool file carries (else {name})\n"
    "  -f, --format EXT      format by extension, overriding the pattern's (png, jpg, tif, bmp,\n"
    "                        gif, webp, pdf, svg, emf, wmf, ...)\n"
    "  -r, --resolution N[xM]  dots per inch, stamped as it is (default 96)\n"
    "  -s, --size WxH        pixel size instead (W or H 0: keep the page's aspect)\n"
    "  -d, --depth N         1, 8, 16, 24 or 32 bits per pixel (16 and 32 are stored as 24)\n"
    "      --grey            grey pixels\n"
    "      --area AREA       frame: the page's frame, as Windows prints it (default);\n"
    "                        bounds: the frame grown to hold all the page draws\n"
    "      --gdi             draw as GDI does: a page with EMF+ records is drawn from its GDI\n"
    "                        records (default: as GDI+ draws it, from its EMF+ records)\n"
    "      --skip-blank      leave out pages the blank-page test finds blank\n"
    "      --pages LIST      only these pages of each input, such as 1-3,7 or 2- ({page} keeps\n"
    "                        each page's own number)\n"
    "      --no-reduce       PNG in the depth asked for (default: grey levels or a palette\n"
    "                        where that changes no pixel)\n"
    "      --one-file        one file per input holding every page (TIFF or PDF; the\n"
    "                        pattern's default becomes \"{name}.tif\")\n"
    "  -j, --jobs N          pages converted at once (default: the number of cores)\n"
    "      --force           replace existing files (default: a taken name is a failed page)\n"
    "      --skip-existing   leave pages whose output exists alone, and count them\n"
    "  -q, --quiet           no progress line\n"
    "      --help, --version\n"
    "Exit status: 0 every page written, 1 some page or input failed, 2 bad usage.\n";

namespace {

bool WholeNumber(std::string_view text, long low, long high, long& value) {
  if (text.empty() || text.size() > 9) {
    return false;
  }
  value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') {
      return false;
    }
    value = value * 10 + (c - '0');
  }
  return value >= low && value <= high;
}

bool Resolution(std::string_view text, double& x, double& y) {
  const size_t by = text.find_first_of("xX");
  const std::string first(text.substr(0, by));
  const std::string second(by == std::string_view::npos ? first : text.substr(by + 1));
  for (auto [part, value] : {std::pair{&first, &x}, std::pair{&second, &y}}) {
    char* end = nullptr;
    errno = 0;
    *value = std::strtod(part->c_str(), &end);
    if (part->empty() || *end != '\0' || errno != 0 || !(*value >= 1 && *value <= 2400)) {
      return false;
    }
  }
  return true;
}

bool Size(std::string_view text, int& width, int& height) {
  const size_t by = text.find_first_of("xX");
  long w = 0;
  long h = 0;
  if (by == std::string_view::npos || !WholeNumber(text.substr(0, by), 0, 1000000, w) ||
      !WholeNumber(text.substr(by + 1), 0, 1000000, h) || (w == 0 && h == 0)) {
    return false;
  }
  width = static_cast<int>(w);
  height = static_cast<int>(h);
  return true;
}

}  // namespace

CommandLine ParseConvertOptions(const std::vector<std::string>& arguments, ConvertOptions& options,
                                std::string& error) {
  bool only_inputs = false;
  for (size_t i = 0; i < arguments.size(); ++i) {
    std::string argument = arguments[i];
    if (only_inputs || argument.empty() || argument[0] != '-' || argument == "-") {
      options.inputs.push_back(argument);
      continue;
    }
    if (argument == "--") {
      only_inputs = true;
      continue;
    }
    // "--name=value" and "-xvalue" carry their value; otherwise it is the next argument.
    std::string inline_value;
    bool has_inline = false;
    if (argument.starts_with("--")) {
      const size_t equals = argument.find('=');
      if (equals != std::string::npos) {
        inline_value = argument.substr(equals + 1);
        argument.resize(equals);
        has_inline = true;
      }
    } else if (argument.size() > 2) {
      inline_value = argument.substr(2);
      argument.resize(2);
      has_inline = true;
    }
    const auto is = [&](const char* short_name, const char* long_name) {
      return (short_name != nullptr && argument == short_name) || argument == long_name;
    };
    std::string value;
    const auto take_value = [&]() {
      if (has_inline) {
        value = inline_value;
        return true;
      }
      if (i + 1 >= arguments.size()) {
        error = argument + " needs a value";
        return false;
      }
      value = arguments[++i];
      return true;
    };
    const auto flag = [&](bool& target) {
      if (has_inline) {
        error = argument + " takes no value";
        return false;
      }
      target = true;
      return true;
    };
    long number = 0;
    if (is(nullptr, "--help") && !has_inline) {
      return CommandLine::kHelp;
    } else if (is(nullptr, "--version") && !has_inline) {
      return CommandLine::kVersion;
    } else if (is("-o", "--output")) {
      if (!take_value()) {
        return CommandLine::kBadUsage;
      }
      options.pattern = value;
      options.pattern_given = true;
    } else if (is("-f", "--format")) {
      if (!take_value()) {
        return CommandLine::kBadUsage;
      }
      options.format = ExtensionOf("x." + (value.starts_with(".") ? value.substr(1) : value));
    } else if (is("-r", "--resolution")) {
      if (!take_value() || !Resolution(value, options.x_dpi, options.y_dpi)) {
        error = error.empty() ? "a resolution is N or NxM dots per inch, 1 to 2400" : error;
        return CommandLine::kBadUsage;
      }
    } else if (is("-s", "--size")) {
      if (!take_value() || !Size(value, options.width, options.height)) {
        error = error.empty() ? "a size is WxH pixels (one of them may be 0)" : error;
        return CommandLine::kBadUsage;
      }
    } else if (is("-d", "--depth")) {
      if (!take_value() || !WholeNumber(value, 1, 32, number) ||
          (number != 1 && number != 8 && number != 16 && number != 24 && number != 32)) {
        error = error.empty() ? "a depth is 1, 8, 16, 24 or 32" : error;
        return CommandLine::kBadUsage;
      }
      options.depth = static_cast<int>(number);
      options.depth_given = true;
    } else if (is("-j", "--jobs")) {
      if (!take_value() || !WholeNumber(value, 1, 1024, number)) {
        error = error.empty() ? "jobs is a number from 1 to 1024" : error;
        return CommandLine::kBadUsage;
      }
      options.jobs = static_cast<int>(number);
    } else if (is(nullptr, "--grey") || is(nullptr, "--gray")) {
      if (!flag(options.grey)) {
        return CommandLine::kBadUsage;
      }
    } else if (is(nullptr, "--pages")) {
      if (!take_value() || !ParsePageList(value, options.pages)) {
        error = error.empty() ? "a page list is like 1-3,7 or 2-, counting pages from 1" : error;
        return CommandLine::kBadUsage;
      }
    } else if (is(nullptr, "--area")) {
      if (!take_value() || (value != "frame" && value != "bounds")) {
        error = error.empty() ? "--area is frame or bounds" : error;
        return CommandLine::kBadUsage;
      }
      options.area_bounds = value == "bounds";
    } else if (is(nullptr, "--gdi")) {
      if (!flag(options.gdi)) {
        return CommandLine::kBadUsage;
      }
    } else if (is(nullptr, "--skip-blank")) {
      if (!flag(options.skip_blank)) {
        return CommandLine::kBadUsage;
      }
    } else if (is(nullptr, "--no-reduce")) {
      bool no_reduce = false;
      if (!flag(no_reduce)) {
        return CommandLine::kBadUsage;
      }
      options.reduce_png = false;
    } else if (is(nullptr, "--one-file")) {
      if (!flag(options.one_file)) {
        return CommandLine::kBadUsage;
      }
    } else if (is(nullptr, "--force")) {
      if (!flag(options.force)) {
        return CommandLine::kBadUsage;
      }
    } else if (is(nullptr, "--skip-existing")) {
      if (!flag(options.skip_existing)) {
        return CommandLine::kBadUsage;
      }
    } else if (is("-R", "--recursive")) {
      if (!flag(options.recursive)) {
        return CommandLine::kBadUsage;
      }
    } else if (is("-q", "--quiet")) {
      if (!flag(options.quiet)) {
        return CommandLine::kBadUsage;
      }
    } else {
      error = "unknown option " + arguments[i];
      return CommandLine::kBadUsage;
    }
  }
  if (options.inputs.empty()) {
    error = "no input";
    return CommandLine::kBadUsage;
  }
  if (std::count(options.inputs.begin(), options.inputs.end(), "-") > 1) {
    error = "standard input (-) can be read once";
    return CommandLine::kBadUsage;
  }
  if (options.force && options.skip_existing) {
    error = "--force replaces existing outputs and --skip-existing keeps them: give one";
    return CommandLine::kBadUsage;
  }
  if (options.one_file && options.pattern.find("{page}") != std::string::npos) {
    if (options.pattern_given) {
      error = "--one-file writes one file an input: the pattern may not hold {page}";
      return CommandLine::kBadUsage;
    }
    options.pattern = "{name}." + (options.format.empty() ? std::string("tif") : options.format);
  }
  if (options.format.empty() && options.pattern == "-") {
    // Standard output has no name to pick a format by: the tool's own defaults.
    options.format = options.one_file ? "tif" : "png";
  }
  if (options.format.empty()) {
    options.format = ExtensionOf(options.pattern);
    if (options.format.empty()) {
      error = "the output pattern has no extension to pick a format by; give -f";
      return CommandLine::kBadUsage;
    }
  }
  return CommandLine::kConvert;
}

bool ParsePageList(const std::string& text, std::vector<std::pair<int, int>>& ranges) {
  ranges.clear();
  size_t start = 0;
  while (start <= text.size()) {
    const size_t comma = std::min(text.find(',', start), text.size());
    const std::string item = text.substr(start, comma - start);
    const size_t dash = item.find('-');
    long first = 0;
    long last = 0;
    if (dash == std::string::npos) {
      if (!WholeNumber(item, 1, 99999999, first)) {
        return false;
      }
      last = first;
    } else {
      if (!WholeNumber(item.substr(0, dash), 1, 99999999, first)) {
        return false;
      }
      const std::string end = item.substr(dash + 1);
      last = kToTheLastPage;
      if (!end.empty() && (!WholeNumber(end, first, 99999999, last))) {
        return false;
      }
    }
    ranges.emplace_back(static_cast<int>(first), static_cast<int>(last));
    start = comma + 1;
  }
  return !ranges.empty();
}

bool PageSelected(const ConvertOptions& options, int number) {
  if (options.pages.empty()) {
    return true;
  }
  for (const auto& [first, last] : options.pages) {
    if (number >= first && number <= last) {
      return true;
    }
  }
  return false;
}

std::string ExpandOutputPattern(const std::string& pattern, const std::string& name, int page,
                                const std::string& document) {
  char number[16];
  std::snprintf(number, sizeof number, "%04d", page);
  std::string out;
  for (size_t i = 0; i < pattern.size();) {
    if (pattern.compare(i, 6, "{name}") == 0) {
      out += name;
      i += 6;
    } else if (pattern.compare(i, 6, "{page}") == 0) {
      out += number;
      i += 6;
    } else if (pattern.compare(i, 5, "{doc}") == 0) {
      out += document.empty() ? name : document;
      i += 5;
    } else {
      out += pattern[i++];
    }
  }
  return out;
}

std::string ExtensionOf(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  const size_t dot = path.find_last_of('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash) ||
      dot + 1 == path.size()) {
    return {};
  }
  std::string extension = path.substr(dot + 1);
  for (char& c : extension) {
    if (c >= 'A' && c <= 'Z') {
      c = static_cast<char>(c - 'A' + 'a');
    }
  }
  return extension;
}
