// JPEG through libjpeg-turbo: grey images as one channel, the rest as RGB, quality 90; the
// JFIF header carries the resolution. The codec option's bit of value 4 asks for progressive
// coding (page conversion clears it, so its files are baseline). Baseline rows go to libjpeg
// as they come; progressive coding keeps the whole image inside libjpeg.
#include <csetjmp>
#include <cstddef>
#include <cstdio>
#include <vector>

// jpeglib.h expects size_t and FILE to be known already.
#include <jpeglib.h>

#include "imaging/encoders.h"
#include "imaging/encoders/library_rows.h"

namespace imaging {
namespace {

struct ErrorJump {
  jpeg_error_mgr manager;
  std::jmp_buf jump;
};

void OnError(j_common_ptr info) {
  std::longjmp(reinterpret_cast<ErrorJump*>(info->err)->jump, 1);
}

// libjpeg's bytes go a few kilobytes at a time to the buffer; a write that fails is seen
// after the rows that hit it.
struct Destination {
  jpeg_destination_mgr manager;  // first: libjpeg is given its address
  BufferedOutput* out;
  JOCTET bytes[4096];
};

void StartDestination(j_compress_ptr info) {
  auto* destination = reinterpret_cast<Destination*>(info->dest);
  destination->manager.next_output_byte = destination->bytes;
  destination->manager.free_in_buffer = sizeof destination->bytes;
}

boolean PassOnFullBuffer(j_compress_ptr info) {
  auto* destination = reinterpret_cast<Destination*>(info->dest);
  destination->out->Write(destination->bytes, sizeof destination->bytes);
  StartDestination(info);
  return TRUE;
}

void PassOnRest(j_compress_ptr info) {
  auto* destination = reinterpret_cast<Destination*>(info->dest);
  destination->out->Write(destination->bytes,
                          sizeof destination->bytes - destination->manager.free_in_buffer);
}

class JpegRows final : public LibraryRows {
 public:
  JpegRows(OutputFile& file, const RowLayout& layout)
      : LibraryRows(file, layout.height, "libjpeg"), layout_(layout) {
    info_.err = jpeg_std_error(&errors_.manager);
    errors_.manager.error_exit = OnError;
    destination_.manager.init_destination = StartDestination;
    destination_.manager.empty_output_buffer = PassOnFullBuffer;
    destination_.manager.term_destination = PassOnRest;
    destination_.out = &out_;
  }
  ~JpegRows() override { Release(); }

  bool Start() {
    if (setjmp(errors_.jump)) {
      return Failed();
    }
    jpeg_create_compress(&info_);
    created_ = true;
    info_.dest = &destination_.manager;
    grey_ = layout_.indexed();
    info_.image_width = static_cast<JDIMENSION>(layout_.width);
    info_.image_height = static_cast<JDIMENSION>(layout_.height);
    info_.input_components = grey_ ? 1 : 3;
    info_.in_color_space = grey_ ? JCS_GRAYSCALE : JCS_RGB;
    jpeg_set_defaults(&info_);
    jpeg_set_quality(&info_, 90, TRUE);
    info_.density_unit = 1;  // dots per inch
    info_.X_density = static_cast<UINT16>(layout_.x_dpi);
    info_.Y_density = static_cast<UINT16>(layout_.y_dpi);
    if (layout_.codec_option & 4) {
      jpeg_simple_progression(&info_);
    }
    jpeg_start_compress(&info_, TRUE);
    levels_.resize(static_cast<size_t>(layout_.width));
    return true;
  }

  bool WriteRows(const uint8_t* rows, size_t stride, int count) override {
    if (!Good() || !created_) {
      return false;
    }
    if (setjmp(errors_.jump)) {
      return Failed();
    }
    for (int i = 0; i < count && written_ < height_; ++i, ++written_) {
      const uint8_t* source = rows + static_cast<size_t>(i) * stride;
      JSAMPROW row = const_cast<JSAMPROW>(source);
      if (grey_) {
        // Indices become the grey levels of their palette entries.
        for (int x = 0; x < layout_.width; ++x) {
          levels_[x] = source[x] < layout_.palette.size() ? layout_.palette[source[x]].r : 0;
        }
        row = levels_.data();
      }
      jpeg_write_scanlines(&info_, &row, 1);
    }
    return Good();
  }

 private:
  void End() override {
    if (setjmp(errors_.jump)) {
      Failed();
      return;
    }
    jpeg_finish_compress(&info_);
  }
  void Release() override {
    if (created_) {
      jpeg_destroy_compress(&info_);
      created_ = false;
    }
  }

  RowLayout layout_;
  jpeg_compress_struct info_{};
  ErrorJump errors_{};
  Destination destination_{};
  bool created_ = false;
  bool grey_ = false;
  std::vector<JSAMPLE> levels_;
};

}  // namespace

std::unique_ptr<RowWriter> OpenJpegRows(const RowLayout& layout, OutputFile& file,
                                        std::string* error) {
  return OpenLibraryRows<JpegRows>(layout, file, error);
}

}  // namespace imaging
