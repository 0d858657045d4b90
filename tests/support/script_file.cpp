#include "tests/support/script_file.h"

#include <sys/stat.h>

#include "tests/support/TempFolder.h"

void WriteScript(const std::string& path, const std::string& body) {
  WriteFileBytes(path, "#!/bin/sh\n" + body);
  chmod(path.c_str(), 0755);
}
