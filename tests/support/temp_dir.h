// A fresh folder for one test, removed with everything in it afterwards, plus small
// file helpers.
#pragma once

#include <string>

class TTempDir {
 public:
  TTempDir();
  ~TTempDir();
  TTempDir(const TTempDir&) = delete;
  TTempDir& operator=(const TTempDir&) = delete;

  const std::string& Path() const { return path_; }
  // Path() + "/" + name.
  std::string operator/(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

void WriteTextFile(const std::string& path, const std::string& text);
std::string ReadTextFile(const std::string& path);
// Writes an executable shell script.
void WriteScript(const std::string& path, const std::string& body);
