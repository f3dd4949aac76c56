#include "base/text_util.h"

const char kPathSeparator = '\\';
const char kTextLineEnd[] = "\r\n";
