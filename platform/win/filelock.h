// Whether a file is in use, as a Windows program sees it when it opens the file for
// writing without sharing. Linux has no share modes, so a file counts as in use when
// it cannot be opened for writing, when it holds an advisory lock (flock or a record
// lock), or when a process (this one included) has it open or is executing it.
// Processes of other users whose descriptors cannot be read are not seen.
#pragma once

#include <string>

// False for an empty name and for a file that does not exist. The name is converted
// with NativePath.
bool IsFileInUse(const std::string& FileName);
