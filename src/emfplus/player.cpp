#include "emfplus/player.h"

#include <algorithm>
#include <cmath>
#include <string>

#include "emf/records/records.h"
#include "emfplus/record_table.h"

namespace emfplus {
namespace {

constexpr uint16_t kObjectContinued = 0x8000;

}  // namespace

bool HoldsEmfPlus(const emf::Metafile& file) {
  // The record after the header must be a comment that starts with the EMF+ header.
  const auto& page = file.records();
  if (page.size() < 2 || page[1].type != emf::kEmrGdiComment) {
    return false;
  }
  const std::vector<Record> records = SplitRecords(emf::CommentData(page[1]));
  return !records.empty() && records.front().type == kHeader;
}

emf::CommentDrawingMaker EmfPlusDrawing() {
  return [](const emf::Metafile& file, emf::DrawingTarget& target,
            const emf::RectL& bounds) -> std::unique_ptr<emf::CommentDrawing> {
    if (!HoldsEmfPlus(file)) {
      return nullptr;
    }
    return std::make_unique<Player>(file, target, bounds);
  };
}

Player::Player(const emf::Metafile& file, emf::DrawingTarget& target, const emf::RectL& bounds)
    : target_(target), bounds_(bounds), header_(file.header()) {
  StartPictureBudget();
  MapDevice();
}

void Player::Comment(std::span<const uint8_t> data, emf::PlayStats& stats) {
  if (ended_) {
    return;
  }
  stats_ = &stats;
  bool cut_short = false;
  const std::vector<Record> records = SplitRecords(data, &cut_short);
  if (records.empty() && !cut_short) {
    return;  // another program's comment
  }
  // The GDI records may have drawn under their own clip since the last EMF+ record.
  clip_applied_ = false;
  for (const Record& record : records) {
    Play(record, ++played_);
    if (ended_) {
      return;
    }
  }
  if (cut_short) {
    target_.Fail("an EMF+ comment's records run past its end");
  }
}

void Player::Play(const Record& record, size_t number) {
  // Any EMF+ record ends the GDI records' turn; GetDC starts another.
  gdi_records_ = false;
  const RecordEntry* entry = FindRecord(record.type);
  if (entry == nullptr || entry->handle == nullptr) {
    Skip(record, nullptr);
    return;
  }
  if (record.data.size() < entry->minimum_size) {
    Skip(record, "too short");
    return;
  }
  emf::ByteReader reader(record.data);
  (this->*entry->handle)(record, reader);
  ++stats_->played;
  if (!reader.Ok()) {
    target_.Fail("EMF+ record " + std::to_string(number) + " (" + entry->name +
                 ") ends before its fields do");
  }
}

void Player::Skip(const Record& record, const char* why) {
  const char* known = RecordName(record.type);
  char unknown[32];
  if (known == nullptr) {
    std::snprintf(unknown, sizeof unknown, "EmfPlusUnknown(0x%04X)", record.type);
  }
  std::string name = known != nullptr ? known : unknown;
  if (why != nullptr) {
    name += std::string(" (") + why + ")";
  }
  if (stats_ != nullptr) {
    ++stats_->skipped[name];
  }
}

void Player::Header(const Record&, emf::ByteReader& r) {
  r.Skip(8);  // version, flags
  const uint32_t dpi_x = r.U32();
  const uint32_t dpi_y = r.U32();
  if (r.Ok() && dpi_x > 0 && dpi_y > 0 && dpi_x < 100000 && dpi_y < 100000) {
    dpi_x_ = dpi_x;
    dpi_y_ = dpi_y;
  }
  MapDevice();
}

void Player::MapDevice() {
  // EMF+ device pixels are the reference device's, as for the GDI records: through its size
  // in millimetres to the frame, and the frame onto the bounds, as GDI+ maps a metafile's
  // frame onto the rectangle it is drawn in. The EMF+ header's density sizes page units.
  const emf::RectL& frame = header_.frame;
  const double frame_width = static_cast<double>(frame.right) - frame.left;
  const double frame_height = static_cast<double>(frame.bottom) - frame.top;
  const double bounds_width = static_cast<double>(bounds_.right) - bounds_.left;
  const double bounds_height = static_cast<double>(bounds_.bottom) - bounds_.top;
  const bool sized = header_.device.cx > 0 && header_.device.cy > 0 && header_.millimeters.cx > 0 &&
                     header_.millimeters.cy > 0;
  const double hundredths_x =
      sized ? 100.0 * header_.millimeters.cx / header_.device.cx : 2540.0 / dpi_x_;
  const double hundredths_y =
      sized ? 100.0 * header_.millimeters.cy / header_.device.cy : 2540.0 / dpi_y_;
  device_to_target_ = {0, 0, 0, 0, 0, 0};
  if (frame_width != 0 && frame_height != 0) {
    device_to_target_.m11 = hundredths_x * bounds_width / frame_width;
    device_to_target_.m22 = hundredths_y * bounds_height / frame_height;
    device_to_target_.dx = bounds_.left - frame.left * bounds_width / frame_width;
    device_to_target_.dy = bounds_.top - frame.top * bounds_height / frame_height;
  }
}

void Player::EndOfFile(const Record&, emf::ByteReader&) {
  ended_ = true;
}

void Player::Ignore(const Record&, emf::ByteReader&) {}

void Player::SetRenderingOrigin(const Record&, emf::ByteReader& r) {
  const double x = r.I32();
  rendering_origin_ = {x, static_cast<double>(r.I32())};
}

void Player::GetDC(const Record&, emf::ByteReader&) {
  gdi_records_ = true;
}

void Player::ObjectRecord(const Record& record, emf::ByteReader& r) {
  const int id = record.flags & 0xFF;
  const int kind = (record.flags >> 8) & 0x7F;
  std::span<const uint8_t> data = record.data;
  Continued& pending = continued_;
  const bool continues = (record.flags & kObjectContinued) != 0;
  const bool goes_on = pending.id == id && pending.kind == kind && !pending.bytes.empty();
  if (continues || goes_on) {
    // An object too large for one record comes in pieces, each but the last saying the
    // whole's size; they are put together as they come, never sized by that field alone.
    if (continues) {
      const uint32_t total = r.U32();
      data = data.subspan(std::min<size_t>(4, data.size()));
      if (!goes_on) {
        pending = Continued{id, kind, total, {}};
      }
      if (total > kMaxObjectBytes) {
        target_.Fail("an EMF+ " + std::string(ObjectKindName(kind)) + " object of " +
                     std::to_string(total) + " bytes, past the " + std::to_string(kMaxObjectBytes) +
                     " the player reads");
        pending = Continued{};
        return;
      }
    }
    // Some writers repeat the whole's size in the last piece too: a piece that holds exactly
    // that size and the bytes still missing.
    if (!continues && data.size() >= 4 && pending.bytes.size() + data.size() - 4 == pending.total &&
        r.U32() == pending.total) {
      data = data.subspan(4);
    }
    if (pending.bytes.size() + data.size() > pending.total) {
      data = data.first(pending.total - std::min<size_t>(pending.total, pending.bytes.size()));
    }
    pending.bytes.insert(pending.bytes.end(), data.begin(), data.end());
    if (continues && pending.bytes.size() < pending.total) {
      return;
    }
    std::vector<uint8_t> whole = std::move(pending.bytes);
    pending = Continued{};
    std::string why;
    Object object;
    if (id < kObjectSlots && ReadObject(kind, whole, object, why)) {
      objects_[id] = std::move(object);
    } else {
      objects_[std::min(id, kObjectSlots - 1)] = std::monostate{};
      Skip(record, why.empty() ? "no such object" : why.c_str());
    }
    return;
  }
  pending = Continued{};
  if (id >= kObjectSlots) {
    Skip(record, "no such object");
    return;
  }
  std::string why;
  Object object;
  if (!ReadObject(kind, data, object, why)) {
    objects_[id] = std::monostate{};
    Skip(record, why.c_str());
    return;
  }
  objects_[id] = std::move(object);
}

template <class T>
const T* Player::ObjectAt(const Record& record, uint32_t id) {
  const T* object = id < kObjectSlots ? std::get_if<T>(&objects_[id]) : nullptr;
  if (object == nullptr) {
    Skip(record, "no such object");
  }
  return object;
}

template const Brush* Player::ObjectAt<Brush>(const Record&, uint32_t);
template const PlusPath* Player::ObjectAt<PlusPath>(const Record&, uint32_t);
template const PlusRegion* Player::ObjectAt<PlusRegion>(const Record&, uint32_t);
template const PlusImage* Player::ObjectAt<PlusImage>(const Record&, uint32_t);
template const PlusFont* Player::ObjectAt<PlusFont>(const Record&, uint32_t);

const Pen* Player::PenAt(const Record& record, uint32_t id) {
  return ObjectAt<Pen>(record, id);
}

}  // namespace emfplus
