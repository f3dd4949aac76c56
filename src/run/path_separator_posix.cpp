#include "text_util.h"

const char kPathSeparator = '/';
