// Publishes the list of created files in the named shared block "Quadrine".
#pragma once

#include <string>

#include "services/scoped_handles.h"

inline constexpr unsigned kResultBlockSize = 0x104000;  // 4096 paths of 260 characters

// 1 when the text was written, 0 when the block could not be created or mapped. A text too
// long for the block is cut after its last whole line that fits; it always ends in a zero.
// With keep, the handle on the block goes there: on Windows the block lives only as long as
// a handle on it, and the converter keeps it until the after-hook has returned.
int PublishResultList(const std::string& resultText, ScopedHandle* keep = nullptr);
