// A fresh folder under the system's temporary folder, removed with everything in it
// when the object goes away.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

class TempFolder {
 public:
  TempFolder();
  ~TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  // The folder's path, without a trailing "/".
  const std::string& Path() const { return path_; }
  // Path() + "/" + name.
  std::string operator/(std::string_view name) const;

 private:
  std::string path_;
};

// Writes bytes to a file, creating or truncating it.
void WriteFileBytes(const std::string& path, std::string_view bytes);
// Reads a whole file; empty when it cannot be read.
std::string ReadFileBytes(const std::string& path);
// Deterministic pseudo-random bytes.
std::string RandomBytes(size_t count, uint64_t seed);
// The lines of a text whose lines each end in CR LF; false in *complete when the
// text does not end with a line end.
std::vector<std::string> CrlfLines(const std::string& text, bool* complete = nullptr);
