// File names at the boundary to the operating system. Inside the system a name may
// use "\" or "/" as separators and names existing files in any case, as on the
// original's file system; ToOsPath turns it into the name the kernel knows.
#pragma once

#include <string>

// Converts "\" to "/" and matches every part of the name that exists to the existing
// entry ignoring case (an exact match wins; among several case variants the first in
// byte order); parts that do not exist keep the case given. A last part ending in
// ".exe" (any case) that does not exist stands for the same name without the
// extension when that exists, since programs here carry no extension.
std::string ToOsPath(const std::string& Name);

// The folder for runtime files of this user: $XDG_RUNTIME_DIR, else /tmp.
std::string RuntimeFolder();
