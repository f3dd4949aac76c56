// Windows's GDI substitutes faces itself and says nothing of it.
#include "services/font_notices.h"

std::vector<std::string> TakeFontNotices() {
  return {};
}
