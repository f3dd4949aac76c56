// The stand-in's GDI draws with the faces installed here and keeps what it substituted.
#include "services/font_notices.h"
#include "win32/stand_in.h"

std::vector<std::string> TakeFontNotices() {
  return win32::gdi::TakeFontNotices();
}
