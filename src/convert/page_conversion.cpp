#include "convert/page_conversion.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <optional>
#include <vector>

#include "base/checked.h"
#include "base/text_util.h"
#include "convert/job_document.h"
#include "convert/raster_encoding.h"
#include "convert/rasterize.h"
#include "convert/vector_output.h"
#include "progress/progress_window.h"
#include "services/diagnostic_log.h"
#include "services/page_file.h"
#include "services/path_macros.h"
#include "services/pending_pages.h"
#include "services/program_values.h"
#include "services/run_report.h"
#include "services/scoped_handles.h"
#include "services/settings.h"
#include "win32/win32.h"

namespace {

constexpr DWORD kSettingSize = 200;
constexpr DWORD kSuffixSize = 260;
constexpr int kUniqueCandidates = 1000000;
constexpr int kPlacementAttempts = 100;
constexpr float kMaxResolution = 1e6f;  // dots per inch

std::string ReadSetting(const char* key, const char* fallback, DWORD size) {
  return ReadOptionString("AutoSaveOptions", key, fallback, size);
}

// A setting written straight back so that the key exists afterwards. One too long for its
// buffer is refused (its default is used, with a log entry) and left as it is: written back
// cut, it would be destroyed.
std::string ReadSettingWrittenBack(const char* key, const char* fallback, DWORD size) {
  const std::string value = ReadOptionWrittenBack("AutoSaveOptions", key, fallback, size);
  if (value.size() >= size) {
    LogMessage(
        "%s is longer than %lu characters; \"%s\" is used and the setting is left as it "
        "is.\n",
        key, static_cast<unsigned long>(size - 1), fallback);
    return fallback;
  }
  return value;
}

bool StartsWithDigit(const std::string& text) {
  return !text.empty() && text[0] >= '0' && text[0] <= '9';
}

// atoi's value, held to the 32-bit range instead of overflowing.
int WholeNumber(const std::string& text) {
  errno = 0;
  const long long value = std::strtoll(text.c_str(), nullptr, 10);
  return value > INT_MAX ? INT_MAX : value < INT_MIN ? INT_MIN : static_cast<int>(value);
}

bool Exists(const std::string& path) {
  return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// A new file with the bytes; false (and no file) when it exists already or cannot be written.
bool WriteNewFile(const std::string& path, const std::vector<BYTE>& bytes) {
  ScopedHandle file(CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.Valid()) {
    return false;
  }
  DWORD written = 0;
  if (!WriteFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) ||
      written != bytes.size()) {
    file.Reset();
    DeleteFileA(path.c_str());
    return false;
  }
  return true;
}

}  // namespace

ImageSettings ReadImageSettings() {
  ImageSettings settings;
  std::string depth = ReadSetting("m_strColorDepth", "Default", kSettingSize);
  if (!depth.empty()) {
    depth.resize(depth.find_first_not_of("0123456789") == std::string::npos
                     ? depth.size()
                     : depth.find_first_not_of("0123456789"));
    settings.colorDepth = depth.empty() ? 0 : WholeNumber(depth);
  }
  const std::string resolution = ReadSetting("m_strResolution", "Default", kSettingSize);
  if (StartsWithDigit(resolution)) {
    if (resolution.find('x') != std::string::npos) {
      std::sscanf(resolution.c_str(), "%fx%f", &settings.xResolution, &settings.yResolution);
      // A density that is no number, or beyond any page, counts as not set.
      if (!(settings.xResolution > 0 && settings.xResolution <= kMaxResolution) ||
          !(settings.yResolution > 0 && settings.yResolution <= kMaxResolution)) {
        LogMessage("m_strResolution '%s' is no usable density; it is not applied.\n",
                   resolution.c_str());
        settings.xResolution = settings.yResolution = 0;
      }
    } else {
      settings.xResolution = settings.yResolution = static_cast<float>(WholeNumber(resolution));
    }
  }
  const std::string size = ReadSetting("strWidthAndHeight", "", kSettingSize);
  if (StartsWithDigit(size)) {
    if (size.find('x') != std::string::npos) {
      long long width = 0;
      long long height = 0;
      std::sscanf(size.c_str(), "%lldx%lld", &width, &height);
      settings.width = width > INT_MAX ? INT_MAX : static_cast<int>(width);
      settings.height = height > INT_MAX ? INT_MAX : static_cast<int>(height);
    } else {
      settings.width = settings.height = WholeNumber(size);
    }
  }
  settings.specifySize = static_cast<int>(GetPrivateProfileIntA(
      "AutoSaveOptions", "bSpecifyWidthHeight", 0, Program().settingsPath.c_str()));
  settings.reducePng = static_cast<int>(
      GetPrivateProfileIntA("AutoSaveOptions", "bReducePng", 0, Program().settingsPath.c_str()));
  return settings;
}

std::string SafeSuffixFormat(const std::string& format) {
  // Allowed: text, "%%", and at most one conversion of d, i, u, x, X or o with flags, width
  // and precision given as digits.
  int conversions = 0;
  for (size_t i = 0; i < format.size(); ++i) {
    if (format[i] != '%') {
      continue;
    }
    if (i + 1 < format.size() && format[i + 1] == '%') {
      ++i;
      continue;
    }
    size_t j = i + 1;
    while (j < format.size() && std::strchr("-+ #0", format[j]) != nullptr) {
      ++j;
    }
    while (j < format.size() &&
           (std::isdigit(static_cast<unsigned char>(format[j])) || format[j] == '.')) {
      ++j;
    }
    if (j >= format.size() || std::strchr("diuxXo", format[j]) == nullptr || ++conversions > 1) {
      return "%04d";
    }
    i = j;
  }
  return format;
}

std::string MakeUniquePath(const std::string& path) {
  if (!Exists(path)) {
    return path;
  }
  char drive[_MAX_DRIVE];
  char dir[_MAX_DIR];
  char name[_MAX_FNAME];
  char ext[_MAX_EXT];
  if (path.size() >= _MAX_PATH) {
    return {};
  }
  _splitpath(path.c_str(), drive, dir, name, ext);
  for (int counter = 0; counter < kUniqueCandidates; ++counter) {
    char candidateName[_MAX_FNAME + 16];
    std::snprintf(candidateName, sizeof candidateName, "%s%03d", name, counter);
    // The counter grows to six digits: a name that would pass the limit is no candidate.
    if (MadePathLength(drive, dir, candidateName, ext) >= _MAX_PATH) {
      return {};
    }
    char candidate[_MAX_PATH];
    _makepath(candidate, drive, dir, candidateName, ext);
    if (!Exists(candidate)) {
      return candidate;
    }
  }
  return {};  // every candidate is taken: nothing is overwritten
}

int ConvertEmfToWmf(const std::string& pagePath, const std::string& outputPath) {
  const ScopedEnhMetaFile page(GetEnhMetaFileA(pagePath.c_str()));
  if (!page.Valid()) {
    return 0;
  }
  HDC reference = GetDC(nullptr);
  const UINT size = GetWinMetaFileBits(page.Get(), 0, nullptr, MM_ANISOTROPIC, reference);
  std::vector<BYTE> bits(size);
  const bool converted = size > 0 && GetWinMetaFileBits(page.Get(), size, bits.data(),
                                                        MM_ANISOTROPIC, reference) == size;
  ReleaseDC(nullptr, reference);
  // The bits are written into a file of our own making (created exclusively), not through
  // CopyMetaFile, which would replace a file or follow a link at the name.
  return converted && WriteNewFile(outputPath, bits) ? 1 : 0;
}

namespace {

// Where one run's outputs go and how they are named.
struct OutputNaming {
  std::string setting;  // the output path, a job's macros still in it
  // The output folder: where outputs are staged before they take their names, and below which
  // the folders a job's macros name are made.
  char drive[_MAX_DRIVE] = "";
  char dir[_MAX_DIR] = "";
  std::string extension;
  std::string suffix;
  long long start = 1;
  bool oneFilePerJob = false;  // a .pdf or .tif output holds each job's pages in one file
};

// A name in the output folder that no file has: the output is written there first and moved
// to its own name only when whole, so a run that dies leaves no half file under an output's
// name.
std::string StagingPath(const OutputNaming& naming) {
  static int counter = 0;
  char path[_MAX_PATH];
  do {
    char stagingName[_MAX_FNAME];
    // The output's own extension comes last: the encoder picks its format by it.
    std::snprintf(stagingName, sizeof stagingName, "~quadrine-%lu-%d.part",
                  static_cast<unsigned long>(GetCurrentProcessId()), counter++);
    if (MadePathLength(naming.drive, naming.dir, stagingName, naming.extension.c_str()) >=
        _MAX_PATH) {
      return {};  // no room beside the output for a file of our own
    }
    _makepath(path, naming.drive, naming.dir, stagingName, naming.extension.c_str());
  } while (Exists(path));  // a leftover of an earlier process of the same number
  return path;
}

// Writes the page's output at staged (a new file) in the format of the extension.
bool WriteOutput(const std::string& page, const std::string& staged, const OutputNaming& naming,
                 const ImageSettings& settings, std::string& reason) {
  const std::string& extension = naming.extension;
  if (EqualsIgnoringCase(extension, ".emf")) {
    if (!CopyFileA(page.c_str(), staged.c_str(), TRUE)) {
      reason = "the page could not be copied (error " + std::to_string(GetLastError()) + ")";
      return false;
    }
    return true;
  }
  if (EqualsIgnoringCase(extension, ".bmp")) {
    return RenderEmfToBmp(page, staged, settings, &reason) != 0;
  }
  if (EqualsIgnoringCase(extension, ".wmf")) {
    if (!ConvertEmfToWmf(page, staged)) {
      reason = "the page could not be written as a Windows metafile";
      return false;
    }
    return true;
  }
  return WriteVectorOutput(page, staged, extension, settings, reason);
}

// Whether the extension's output is drawn into a bitmap and encoded by the image encoders.
bool IsRasterExtension(const std::string& extension) {
  return !EqualsIgnoringCase(extension, ".emf") && !EqualsIgnoringCase(extension, ".bmp") &&
         !EqualsIgnoringCase(extension, ".wmf") && !IsVectorExtension(extension);
}

// Moves a finished output to the wanted name, or the next free one; never over a file.
// Empty when no name could be had.
std::string PlaceOutput(const std::string& staged, const std::string& wanted) {
  for (int attempt = 0; attempt < kPlacementAttempts; ++attempt) {
    const std::string candidate = MakeUniquePath(wanted);
    if (candidate.empty()) {
      return {};
    }
    if (MoveFileExA(staged.c_str(), candidate.c_str(), 0)) {
      return candidate;
    }
    if (GetLastError() != ERROR_ALREADY_EXISTS && GetLastError() != ERROR_FILE_EXISTS) {
      return {};
    }
    // Another writer took the name between the look and the move: look again.
  }
  return {};
}

// The job's output path, split: the setting with the job's macros expanded.
struct JobOutput {
  char drive[_MAX_DRIVE] = "";
  char dir[_MAX_DIR] = "";
  char name[_MAX_FNAME] = "";
  std::string reason;        // why the job's pages can have no output, when they cannot
  long long pagesNamed = 0;  // a name with a job's macros numbers each job's pages from the start
  // The folders made for the job, held open while its pages are placed so that none of them
  // can be swapped for a link after it was checked.
  std::vector<ScopedHandle> heldFolders;
};

// The output file's name: the job's name with the page's number for the page at index i, or
// (i negative) without, for a file of the job's pages. Empty with a reason when the path
// would not fit the system's limit (it would be cut).
std::string WantedOutputPath(const OutputNaming& naming, const JobOutput& job, long long i,
                             std::string& reason) {
  if (!job.reason.empty()) {
    reason = job.reason;
    return {};
  }
  char outputName[_MAX_FNAME + 64];
  if (i < 0) {
    std::snprintf(outputName, sizeof outputName, "%s", job.name);
  } else {
    const std::string format = "%s" + naming.suffix;
    // The number wraps as a 32-bit value would; the format holds one integer conversion.
    std::snprintf(outputName, sizeof outputName, format.c_str(), job.name,
                  static_cast<int>(static_cast<unsigned>(naming.start + i)));
  }
  const size_t length = std::strlen(job.drive) + std::strlen(job.dir) + 1 +
                        std::strlen(outputName) + naming.extension.size() +
                        3;  // room for the uniqueness counter
  if (length >= _MAX_PATH) {
    reason =
        "its output path would be longer than " + std::to_string(_MAX_PATH - 1) + " characters";
    return {};
  }
  char joined[_MAX_PATH];
  _makepath(joined, job.drive, job.dir, outputName, naming.extension.c_str());
  return joined;
}

// Makes the folders from the output folder down to folder, and holds each open (without
// FILE_SHARE_DELETE, so it cannot be renamed, removed or replaced while held); "" when each is
// a folder of its own, else why not. A link at a folder's name is not written through: it may
// lead anywhere.
std::string MakeFoldersBelow(const std::string& outputFolder, const std::string& folder,
                             std::vector<ScopedHandle>& held) {
  for (size_t i = outputFolder.size(); i < folder.size(); ++i) {
    if (!IsPathSeparator(folder[i]) && i + 1 < folder.size()) {
      continue;
    }
    const std::string made = folder.substr(0, IsPathSeparator(folder[i]) ? i : i + 1);
    DWORD error = ERROR_SUCCESS;
    if (!CreateDirectoryA(made.c_str(), nullptr)) {
      error = GetLastError();  // an existing folder is fine
    }
    const DWORD attributes = GetFileAttributesA(made.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
      return "its folder '" + made + "' could not be made (error " +
             std::to_string(error == ERROR_SUCCESS || error == ERROR_ALREADY_EXISTS
                                ? static_cast<DWORD>(ERROR_ALREADY_EXISTS)
                                : error) +
             ")";
    }
    const std::string link =
        "its folder '" + made + "' is a link, and nothing is written through one";
    if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
      return link;
    }
    // The link itself is opened if one was put at the name since the look, and then refused.
    ScopedHandle hold(
        CreateFileA(made.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                    FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!hold.Valid()) {
      return "its folder '" + made + "' could not be held open (error " +
             std::to_string(GetLastError()) + ")";
    }
    const DWORD held_attributes = GetFileAttributesA(made.c_str());
    if (held_attributes == INVALID_FILE_ATTRIBUTES ||
        (held_attributes & FILE_ATTRIBUTE_DIRECTORY) == 0 ||
        (held_attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
      return link;
    }
    held.push_back(std::move(hold));
  }
  return {};
}

// Where a job's outputs go: the setting with its macros expanded from the job, and the folders
// they name made. Said in the log when the setting holds a job's macro.
JobOutput PrepareJobOutput(const OutputNaming& naming, const PrintJob& job) {
  JobOutput output;
  const std::string path = ExpandJobMacros(naming.setting, job);
  if (path.size() >= _MAX_PATH) {
    output.reason =
        "its output path would be longer than " + std::to_string(_MAX_PATH - 1) + " characters";
    return output;
  }
  _splitpath(path.c_str(), output.drive, output.dir, output.name, nullptr);
  if (!HasJobMacros(naming.setting)) {
    return output;  // the output folder, which the run has made
  }
  LogMessage("Job %lu \"%s\" is written as '%s'.\n", job.number,
             WithoutControlCharacters(job.document).c_str(), path.c_str());
  char folder[_MAX_PATH];
  _makepath(folder, output.drive, output.dir, nullptr, nullptr);
  char outputFolder[_MAX_PATH];
  _makepath(outputFolder, naming.drive, naming.dir, nullptr, nullptr);
  output.reason = MakeFoldersBelow(outputFolder, folder, output.heldFolders);
  return output;
}

OutputNaming ReadOutputNaming(const std::string& outputPath) {
  OutputNaming naming;
  naming.setting = outputPath;
  const std::string startText =
      ReadSettingWrittenBack("FileNameSuffixStartNumber", "1", kSettingSize);
  naming.start = WholeNumber(startText);
  const std::string suffixSetting =
      ReadSettingWrittenBack("AddFileNameSuffix", "%04d", kSuffixSize);
  naming.suffix = SafeSuffixFormat(suffixSetting);
  if (naming.suffix != suffixSetting) {
    LogMessage("AddFileNameSuffix '%s' is not one integer conversion; \"%%04d\" is used.\n",
               suffixSetting.c_str());
  }
  naming.oneFilePerJob =
      WholeNumber(ReadSettingWrittenBack("bOneFilePerJob", "0", kSettingSize)) != 0;
  char ext[_MAX_EXT] = "";
  if (outputPath.size() < _MAX_PATH) {  // longer, every page fails with a word why
    _splitpath(outputPath.c_str(), nullptr, nullptr, nullptr, ext);
    const std::string folder = PathBeforeJobMacros(outputPath);
    _splitpath(folder.c_str(), naming.drive, naming.dir, nullptr, nullptr);
  }
  naming.extension = *ext != '\0' ? ext : ".emf";
  return naming;
}

// One page on its way: its output written at staged, or for a raster format still being
// encoded there while the next page is drawn.
struct PageWork {
  std::string page;
  std::string wanted;
  std::string staged;
  std::unique_ptr<ImageWriting> writing;
  bool written = false;
  std::string reason;  // why not, when not
};

// Starts the page: its names settled and its output written, or begun.
PageWork BeginPage(const std::string& page, size_t i, const OutputNaming& naming, JobOutput& job,
                   const ImageSettings& settings) {
  PageWork work;
  work.page = page;
  // A job's own folder or name holds its pages alone: they are numbered from the start.
  const long long number =
      HasJobMacros(naming.setting) ? job.pagesNamed++ : static_cast<long long>(i);
  work.wanted = WantedOutputPath(naming, job, number, work.reason);
  if (work.wanted.empty()) {
    return work;
  }
  work.staged = StagingPath(naming);
  if (work.staged.empty()) {
    work.reason = "no room for a temporary file beside '" + work.wanted + "'";
    return work;
  }
  if (IsRasterExtension(naming.extension)) {
    // A writing that could not start leaves no file, and what may stand at the name is not
    // ours.
    work.writing = ImageWriting::Start(page, work.staged, settings, work.reason);
    work.written = work.writing != nullptr;
  } else {
    work.written = WriteOutput(page, work.staged, naming, settings, work.reason);
    if (!work.written) {
      DeleteFileA(work.staged.c_str());
    }
  }
  return work;
}

// A page whose drawing is all EMF+ comes out empty, as GDI draws it: said in the log, so that
// an empty output is never left without a word.
void NoteEmfPlusOnlyPage(const std::string& page, size_t number) {
  if (PageFileHoldsOnlyEmfPlus(page)) {
    LogMessage("page %zu (%s) holds only EMF+ drawing, which GDI draws as nothing\n", number,
               page.c_str());
  }
}

// Ends the page: its output, once whole, placed under its name and the page file deleted. The
// output's path, or empty with the reason.
std::string CompletePage(PageWork& work, std::string& reason) {
  if (work.writing != nullptr) {
    work.written = work.writing->Finish(work.reason) != 0;  // a failed one leaves no file
    work.writing.reset();
  }
  if (!work.written) {
    reason = work.reason;
    return {};
  }
  const std::string output = PlaceOutput(work.staged, work.wanted);
  if (output.empty()) {
    reason = "no free name for its output next to '" + work.wanted + "'";
    DeleteFileA(work.staged.c_str());
    return {};
  }
  DeleteFileA(work.page.c_str());
  return output;
}

// The jobs' output places, each settled (and its folders made) at the job's first page.
class JobOutputs {
 public:
  JobOutputs(const OutputNaming& naming, const PageJobs& jobs) : naming_(naming), jobs_(jobs) {}

  const PrintJob& JobOf(const std::string& page) const {
    static const PrintJob kNoJob;
    const auto found = jobs_.find(page);
    return found != jobs_.end() ? found->second : kNoJob;
  }

  JobOutput& OutputOf(const std::string& page) {
    const PrintJob& job = JobOf(page);
    auto found = outputs_.find(job);
    if (found == outputs_.end()) {
      found = outputs_.emplace(job, PrepareJobOutput(naming_, job)).first;
    }
    return found->second;
  }

 private:
  const OutputNaming& naming_;
  const PageJobs& jobs_;
  std::map<PrintJob, JobOutput> outputs_;
};

// Whether the extension's format holds a job's pages in one file in this build.
bool HoldsJobDocuments(const std::string& extension) {
  if (EqualsIgnoringCase(extension, ".tif") || EqualsIgnoringCase(extension, ".tiff")) {
    return true;
  }
  return EqualsIgnoringCase(extension, ".pdf") && WritesPdfDocuments();
}

std::unique_ptr<JobDocument> StartJobDocument(const std::string& staged, const OutputNaming& naming,
                                              const ImageSettings& settings,
                                              const std::string& title,
                                              const std::vector<std::string>& pages,
                                              std::string& reason) {
  if (EqualsIgnoringCase(naming.extension, ".pdf")) {
    return StartPdfDocument(staged, settings, title, reason);
  }
  // Classic TIFF, which every reader takes, unless the pages together may pass its limits.
  uint64_t pixelBytes = 0;
  for (const std::string& page : pages) {
    pixelBytes = (checked::Checked<uint64_t>(pixelBytes) + PageRowBytes(page, settings))
                     .ValueOr(~uint64_t{0});
  }
  return StartTiffDocument(staged, settings, pixelBytes, reason);
}

void ShowPageProgress(size_t shown, size_t count) {
  char progress[64];
  std::snprintf(progress, sizeof progress, "Convert page #%d...", static_cast<int>(shown + 1));
  ShowProgress(progress, static_cast<int>(100 * shown / count));
}

// Each job's pages as one document, named from the output setting without a page number.
// Its pages stay, and stay in the recovery record, until the document is placed whole; a page
// that cannot be drawn is named and kept, and the document holds the others.
FileList ConvertJobDocuments(const FileList& list, const OutputNaming& naming, JobOutputs& outputs,
                             const ImageSettings& settings) {
  // The jobs in the order their first pages come, each with its pages in list order.
  std::vector<std::vector<size_t>> jobs;
  std::map<PrintJob, size_t> jobIndex;
  for (size_t i = 0; i < list.size(); ++i) {
    const auto [found, fresh] = jobIndex.emplace(outputs.JobOf(list[i]), jobs.size());
    if (fresh) {
      jobs.emplace_back();
    }
    jobs[found->second].push_back(i);
  }
  FileList converted;
  size_t shown = 0;
  for (const std::vector<size_t>& pages : jobs) {
    const std::string& first = list[pages.front()];
    std::vector<std::string> paths;
    for (size_t i : pages) {
      paths.push_back(list[i]);
    }
    std::string reason;
    const std::string wanted = WantedOutputPath(naming, outputs.OutputOf(first), -1, reason);
    const std::string staged = wanted.empty() ? std::string() : StagingPath(naming);
    std::unique_ptr<JobDocument> document;
    if (!wanted.empty() && staged.empty()) {
      reason = "no room for a temporary file beside '" + wanted + "'";
    } else if (!staged.empty()) {
      document =
          StartJobDocument(staged, naming, settings,
                           WithoutControlCharacters(outputs.JobOf(first).document), paths, reason);
    }
    std::vector<size_t> added;
    std::map<size_t, std::string> failed;  // by place in the list, so said in its order
    for (size_t i : pages) {
      ShowPageProgress(shown++, list.size());
      ReportFontNotices();
      NoteEmfPlusOnlyPage(list[i], i + 1);
      MarkPendingPageConverting(list[i]);
      const std::string why = document != nullptr ? document->AddPage(list[i]) : reason;
      MarkPendingPageDrawn(list[i]);
      if (why.empty()) {
        added.push_back(i);
      } else {
        failed.emplace(i, why);
      }
    }
    ReportFontNotices();
    std::string output;
    if (!added.empty()) {
      reason = document->Finish();
      if (reason.empty()) {
        output = PlaceOutput(staged, wanted);
        if (output.empty()) {
          reason = "no free name for its document next to '" + wanted + "'";
          DeleteFileA(staged.c_str());
        }
      }
    }
    document.reset();  // one never finished leaves no file
    // The pages are done in one write right after the document took its name, so a run that
    // dies then leaves no page for the next to make a second document of.
    RemovePendingPages(paths);
    for (size_t i : added) {
      if (output.empty()) {
        failed.emplace(i, reason);
      } else {
        DeleteFileA(list[i].c_str());
        ReportPageConverted();
      }
    }
    for (const auto& [i, why] : failed) {
      ReportPageFailure(static_cast<int>(i + 1), list[i], why);
    }
    if (!output.empty()) {
      converted.push_back(output);
    }
  }
  return converted;
}

}  // namespace

int ConvertPages(const std::string& outputPath, FileList& list, const PageJobs& jobs) {
  const OutputNaming naming = ReadOutputNaming(outputPath);
  const int grayscale = static_cast<int>(
      GetPrivateProfileIntA("AutoSaveOptions", "m_bGrayscale", 0, Program().settingsPath.c_str()));
  ImageSettings settings = ReadImageSettings();
  settings.grayscale = grayscale;
  JobOutputs outputs(naming, jobs);

  if (naming.oneFilePerJob) {
    if (HoldsJobDocuments(naming.extension)) {
      if (outputPath.size() < _MAX_PATH) {
        list = ConvertJobDocuments(list, naming, outputs, settings);
        return 0;
      }
    } else if (EqualsIgnoringCase(naming.extension, ".pdf")) {
      LogMessage(
          "bOneFilePerJob is set, but this build writes no PDF: each page is tried on its "
          "own.\n");
    } else {
      LogMessage(
          "bOneFilePerJob is set, but a %s file holds one page: each page is written "
          "on its own.\n",
          naming.extension.c_str());
    }
  }

  const size_t count = list.size();
  FileList converted;
  // A page is ended once the next has been begun: a raster page is encoded while the next is
  // drawn (and may still be when the next one's encoding starts). Pages are reported, and their
  // outputs listed, in their order.
  auto end = [&](PageWork& work, size_t i) {
    std::string reason;
    const std::string output = CompletePage(work, reason);
    // Done with either way: a page that failed for a reason of its own is not retried by a
    // later run on its own.
    RemovePendingPage(work.page);
    if (output.empty()) {
      // No output: the page file stays, and the list names only files that exist.
      ReportPageFailure(static_cast<int>(i + 1), work.page,
                        reason.empty() ? "the output path is too long" : reason);
      return;
    }
    ReportPageConverted();
    converted.push_back(output);
  };
  std::optional<PageWork> previous;
  for (size_t i = 0; i < count; ++i) {
    ShowPageProgress(i, count);
    // What the faces of the page drawn last asked for is said before that page's own line.
    ReportFontNotices();
    NoteEmfPlusOnlyPage(list[i], i + 1);
    PageWork work;
    work.page = list[i];
    // A page that ends the run while it is drawn is known to the next run, which sets it
    // aside once it has ended two.
    MarkPendingPageConverting(list[i]);
    if (outputPath.size() < _MAX_PATH) {
      work = BeginPage(list[i], i, naming, outputs.OutputOf(list[i]), settings);
    }
    if (previous) {
      end(*previous, i - 1);
    }
    previous = std::move(work);
  }
  ReportFontNotices();
  if (previous) {
    end(*previous, count - 1);
  }
  list = std::move(converted);
  return 0;
}
