// Build-time generator of a module's resource table: writes a C++ source that holds
// every given file's bytes and registers them, by type and name, for the module it is
// compiled into.
//   vx_resgen <output.cpp> <folder> <TYPE/name.ext>...
// The type is the file's folder, the name its file name without the extension.
// Bitmaps of type BITMAP are kept without the 14-byte file header, as such resources
// are.
#include <cstdio>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

namespace {

std::string Escape(const std::string& s) {
  std::string out;
  for (char c : s) {
    if (c == '"' || c == '\\') out += '\\';
    out += c;
  }
  return out;
}

std::string Upper(std::string s) {
  for (char& c : s)
    if (c >= 'a' && c <= 'z') c = char(c - 'a' + 'A');
  return s;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: vx_resgen <output.cpp> <folder> <TYPE/name.ext>...\n");
    return 2;
  }
  const std::string output = argv[1], folder = argv[2];
  std::ostringstream src;
  src << "// Generated from the files of " << folder << " by vx_resgen; do not edit.\n"
      << "#include \"platform/win/resources.h\"\n\nnamespace {\n\n";
  std::vector<std::string> entries;
  for (int i = 3; i < argc; ++i) {
    const std::string rel = argv[i];
    const size_t slash = rel.find('/');
    if (slash == std::string::npos || rel.find('/', slash + 1) != std::string::npos) continue;
    const std::string type = Upper(rel.substr(0, slash));
    std::string name = rel.substr(slash + 1);
    const size_t dot = name.rfind('.');
    if (dot != std::string::npos && dot > 0) name = name.substr(0, dot);
    std::ifstream in(folder + "/" + rel, std::ios::binary);
    if (!in) {
      std::fprintf(stderr, "vx_resgen: cannot read %s/%s\n", folder.c_str(), rel.c_str());
      return 1;
    }
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (type == "BITMAP" && bytes.size() >= 14 && bytes[0] == 'B' && bytes[1] == 'M') bytes.erase(0, 14);
    const std::string var = "kData" + std::to_string(entries.size());
    src << "const unsigned char " << var << "[] = {";
    if (bytes.empty()) src << "0";
    for (size_t k = 0; k < bytes.size(); ++k) {
      if (k % 24 == 0) src << "\n   ";
      src << ' ' << unsigned(static_cast<unsigned char>(bytes[k])) << ',';
    }
    src << "\n};\n";
    entries.push_back("{\"" + Escape(type) + "\", \"" + Escape(name) + "\", " + var + ", " +
                      std::to_string(bytes.size()) + "}");
  }
  src << "\nconst TResourceEntry kEntries[] = {\n";
  for (const auto& e : entries) src << "    " << e << ",\n";
  if (entries.empty()) src << "    {\"\", \"\", nullptr, 0},\n";
  src << "};\n\n"
      << "struct TRegistration {\n"
      << "  TRegistration() { RegisterResources(HInstance(), kEntries, " << entries.size() << "); }\n"
      << "  ~TRegistration() { UnregisterResources(HInstance(), kEntries); }\n"
      << "} registration;\n\n}  // namespace\n";
  // Written only when it changed, so that unchanged tables are not compiled again.
  std::ifstream old(output, std::ios::binary);
  const std::string previous((std::istreambuf_iterator<char>(old)), std::istreambuf_iterator<char>());
  if (previous == src.str()) return 0;
  std::ofstream out(output, std::ios::binary | std::ios::trunc);
  out << src.str();
  return out ? 0 : 1;
}
