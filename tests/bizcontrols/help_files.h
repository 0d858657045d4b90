// Help files as an independent codec writes and reads them: Python's cp949 codec turns
// UTF-8 texts into the files' bytes and back, line ends as they stand.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "tests/support/TempFolder.h"

namespace vxtest {

inline void Cp949Codec(const std::string& From, const std::string& FromCodec, const std::string& To,
                       const std::string& ToCodec) {
  const std::string cmd = "python3 -c \"import sys; open(sys.argv[3], 'w', encoding=sys.argv[4], newline='')"
                          ".write(open(sys.argv[1], encoding=sys.argv[2], newline='').read())\" '" +
                          From + "' " + FromCodec + " '" + To + "' " + ToCodec;
  ASSERT_EQ(std::system(cmd.c_str()), 0) << cmd;
}

// Writes UTF-8 text as a help file in code page 949.
inline void WriteCp949(const std::string& Path, const std::string& Utf8) {
  WriteFileBytes(Path + ".utf8", Utf8);
  Cp949Codec(Path + ".utf8", "utf-8", Path, "cp949");
  std::remove((Path + ".utf8").c_str());
}

// A help file's text as UTF-8 (empty when Python cannot decode it as code page 949).
inline std::string ReadCp949(const std::string& Path, const std::string& Scratch) {
  Cp949Codec(Path, "cp949", Scratch, "utf-8");
  return ReadFileBytes(Scratch);
}

}  // namespace vxtest
