#include "tests/support/TempFolder.h"

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <stdexcept>
#include <vector>

TempFolder::TempFolder() {
  std::string pattern = (std::filesystem::temp_directory_path() / "vxtestXXXXXX").string();
  std::vector<char> buf(pattern.begin(), pattern.end());
  buf.push_back('\0');
  if (!mkdtemp(buf.data())) throw std::runtime_error("mkdtemp failed");
  path_ = buf.data();
}

TempFolder::~TempFolder() {
  std::error_code ec;
  std::filesystem::remove_all(path_, ec);
}

std::string TempFolder::operator/(std::string_view name) const {
  return path_ + "/" + std::string(name);
}

void WriteFileBytes(const std::string& path, std::string_view bytes) {
  std::ofstream f(path, std::ios::binary | std::ios::trunc);
  f.write(bytes.data(), std::streamsize(bytes.size()));
  if (!f) throw std::runtime_error("cannot write " + path);
}

std::string ReadFileBytes(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

std::string RandomBytes(size_t count, uint64_t seed) {
  std::mt19937_64 gen(seed);
  std::string s(count, '\0');
  for (size_t i = 0; i < count; ++i) s[i] = char(gen() & 0xFF);
  return s;
}

std::vector<std::string> CrlfLines(const std::string& text, bool* complete) {
  std::vector<std::string> lines;
  size_t at = 0;
  for (size_t end; (end = text.find("\r\n", at)) != std::string::npos; at = end + 2)
    lines.push_back(text.substr(at, end - at));
  if (complete) *complete = at == text.size();
  return lines;
}
