// The shared block "Quadrine" that a conversion run leaves its list of files in.
#pragma once

#include <string>

// The list as the block holds it; false with a message when there is none to read.
bool ReadPublishedList(std::string& list, std::string& error);

// On POSIX the block outlives every process and can be removed; on Windows it is gone with
// the last handle on it.
extern const bool kCanRemoveBlock;
bool RemovePublishedList(std::string& error);
