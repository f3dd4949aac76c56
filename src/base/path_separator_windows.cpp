#include "base/text_util.h"

const char kPathSeparator = '\\';
