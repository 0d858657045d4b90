#include "platform/rtl/registry.h"

#include <dirent.h>
#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string_view>
#include <unordered_map>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/rtl/sysutils.h"
#include "platform/win/process.h"

// ---------------------------------------------------------------- the tree

namespace vx_registry {
struct TValue {
  enum Kind { kString, kDword, kOther };
  std::string name;
  Kind kind = kString;
  std::string text;     // kString
  uint32_t dword = 0;   // kDword
  std::string other;    // kOther: the value's text in the file after "="
};

}  // namespace vx_registry

namespace {

using TRegValue = vx_registry::TValue;

// Names compare without regard to ASCII case: this is the form they are indexed by.
std::string Fold(std::string_view name) {
  std::string folded(name);
  for (char& c : folded)
    if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
  return folded;
}

// Two names alike but for ASCII case; cheap when they are alike outright.
bool SameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  if (a == b) return true;
  for (size_t i = 0; i < a.size(); ++i) {
    const char x = a[i] >= 'A' && a[i] <= 'Z' ? char(a[i] - 'A' + 'a') : a[i];
    const char y = b[i] >= 'A' && b[i] <= 'Z' ? char(b[i] - 'A' + 'a') : b[i];
    if (x != y) return false;
  }
  return true;
}

uint64_t FoldedHash(std::string_view name) {
  uint64_t h = 0xcbf29ce484222325ull;
  for (char c : name) h = (h ^ uint8_t(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c)) * 0x100000001b3ull;
  return h;
}

// From this many sub-keys or values on, a key finds them through an index, so that a
// store of many siblings loads and answers in time linear in its size.
constexpr size_t kIndexFrom = 16;

struct TRegKey;
std::string_view TrimView(std::string_view s);
void ParseValueLines(TRegKey& key, std::string_view block);
void SplitKeyView(std::string_view path, std::vector<std::string_view>& parts);

// Sub-keys by name, open addressing over their hashes.
class TKeyIndex {
 public:
  explicit TKeyIndex(const std::vector<TRegKey*>& keys);
  TRegKey* Find(std::string_view name, uint64_t hash) const;
  void Add(TRegKey* key, uint64_t hash);

 private:
  struct TSlot {
    uint64_t hash = 0;
    TRegKey* key = nullptr;
  };
  void Put(TRegKey* key, uint64_t hash);
  std::vector<TSlot> slots_;
  size_t count_ = 0;
};

// What few keys need: a name of their own (made by a change, not read from the text),
// values once read.
struct TRegKeyExtra {
  std::string ownName;
  std::vector<TRegValue> values;
  // Empty until the list grows long, then complete: folded name to position.
  std::unordered_map<std::string, size_t> valueIndex;
};

struct TRegKey {
  std::string_view name;  // in the store's text, or in the extra's ownName
  // Value lines of the store's text not read yet: a key's values are read when first
  // asked for, so loading a store costs little more than reading it.
  std::string_view pending;
  std::vector<TRegKey*> keys;  // in the order they came
  std::unique_ptr<TKeyIndex> keyIndex;
  std::unique_ptr<TRegKeyExtra> extra;
  // Sub-keys were appended by the reading of the file and may repeat a name: the
  // repeats are merged into the first when the list is next searched or written.
  bool unsettled = false;

  TRegKeyExtra& Extra() {
    if (!extra) extra = std::make_unique<TRegKeyExtra>();
    return *extra;
  }
  std::vector<TRegValue>& Values() {
    ReadPending();
    return Extra().values;
  }
  bool HasValues() const { return !pending.empty() || (extra && !extra->values.empty()); }

  // Merges the sub-keys of a repeated name into the first of that name.
  void Settle();

  TRegKey* Find(std::string_view n) {
    Settle();
    if (keyIndex) return keyIndex->Find(n, FoldedHash(n));
    for (TRegKey* k : keys)
      if (SameName(k->name, n)) return k;
    return nullptr;
  }
  void AddKey(TRegKey* k) {
    keys.push_back(k);
    if (keyIndex)
      keyIndex->Add(k, FoldedHash(k->name));
    else if (keys.size() >= kIndexFrom)
      keyIndex = std::make_unique<TKeyIndex>(keys);
  }
  bool EraseKey(std::string_view n) {
    Settle();
    keyIndex.reset();
    const bool erased = std::erase_if(keys, [&](const TRegKey* k) { return SameName(k->name, n); }) > 0;
    if (keys.size() >= kIndexFrom) keyIndex = std::make_unique<TKeyIndex>(keys);
    return erased;
  }

  TRegValue* FindValue(std::string_view n) {
    std::vector<TRegValue>& values = Values();
    if (values.size() < kIndexFrom) {
      for (auto& v : values)
        if (SameName(v.name, n)) return &v;
      return nullptr;
    }
    auto& index = extra->valueIndex;
    if (index.empty())
      for (size_t i = 0; i < values.size(); ++i) index.emplace(Fold(values[i].name), i);
    const auto it = index.find(Fold(n));
    return it == index.end() ? nullptr : &values[it->second];
  }
  TRegValue& EnsureValue(std::string_view n) {
    if (TRegValue* v = FindValue(n)) return *v;
    std::vector<TRegValue>& values = Values();
    values.emplace_back().name = n;
    if (!extra->valueIndex.empty()) extra->valueIndex.emplace(Fold(n), values.size() - 1);
    return values.back();
  }
  bool EraseValue(std::string_view n) {
    std::vector<TRegValue>& values = Values();
    extra->valueIndex.clear();
    return std::erase_if(values, [&](const TRegValue& v) { return SameName(v.name, n); }) > 0;
  }

  void ReadPending();
};

TKeyIndex::TKeyIndex(const std::vector<TRegKey*>& keys) : slots_(64) {
  for (TRegKey* k : keys) Add(k, FoldedHash(k->name));
}

TRegKey* TKeyIndex::Find(std::string_view name, uint64_t hash) const {
  for (size_t i = hash & (slots_.size() - 1);; i = (i + 1) & (slots_.size() - 1)) {
    const TSlot& s = slots_[i];
    if (!s.key) return nullptr;
    if (s.hash == hash && SameName(s.key->name, name)) return s.key;
  }
}

void TKeyIndex::Add(TRegKey* key, uint64_t hash) {
  if (2 * (count_ + 1) > slots_.size()) {
    std::vector<TSlot> old(slots_.size() * 2);
    old.swap(slots_);
    count_ = 0;
    for (const TSlot& s : old)
      if (s.key) Put(s.key, s.hash);
  }
  Put(key, hash);
}

void TKeyIndex::Put(TRegKey* key, uint64_t hash) {
  size_t i = hash & (slots_.size() - 1);
  while (slots_[i].key) i = (i + 1) & (slots_.size() - 1);
  slots_[i] = TSlot{hash, key};
  ++count_;
}

// How a section's key path (the names below the root) stands to a path looked up.
enum class TMatch { Other, Prefix, Equal };

template <class Path>
TMatch MatchPath(std::string_view section, const Path& path) {
  size_t i = 0, at = 0;
  for (;;) {
    while (at < section.size() && section[at] == '\\') ++at;
    if (at == section.size()) return i == path.size() ? TMatch::Equal : TMatch::Other;
    if (i == path.size()) return TMatch::Prefix;
    size_t end = section.find('\\', at);
    if (end == std::string_view::npos) end = section.size();
    if (!SameName(section.substr(at, end - at), path[i])) return TMatch::Other;
    ++i;
    at = end;
  }
}

// The keys of one root, read from a store file's text. Reading only lists the
// sections; a look-up finds its key among them, and the whole tree is made when it is
// first changed or written. Names and pending values point into the text; the keys
// stay where they are until the tree goes.
class TRegTree {
 public:
  TRegTree() = default;
  TRegTree(const TRegTree&) = delete;
  TRegTree& operator=(const TRegTree&) = delete;

  // Reads the whole of a file into the tree's text; false (with errno) when it cannot.
  bool ReadText(int fd, size_t expected) {
    // No bytes are written before the file's own: a large store costs its reading only.
    size_t capacity = expected + 1, size = 0;
    text_ = std::make_unique_for_overwrite<char[]>(capacity);
    for (;;) {
      if (size == capacity) {
        auto larger = std::make_unique_for_overwrite<char[]>(capacity *= 2);
        std::memcpy(larger.get(), text_.get(), size);
        text_ = std::move(larger);
      }
      const ssize_t n = read(fd, text_.get() + size, capacity - size);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) return false;
      if (n == 0) break;
      size += size_t(n);
    }
    size_ = size;
    return true;
  }
  // Lists the sections of the text; see Parse below.
  bool Load(const std::string& rootName, std::string& Kept, std::string& Error);
  // The whole tree, for a change.
  TRegKey& Root() {
    Build();
    return root_;
  }

  template <class Path>
  TRegKey* Walk(const Path& path) {
    if (!built_) return Look(path);
    TRegKey* k = &root_;
    for (const auto& part : path)
      if (!(k = k->Find(part))) return nullptr;
    return k;
  }
  // Makes the missing keys; their names are copied unless they lie in the text.
  template <class Path>
  TRegKey* WalkCreate(const Path& path, bool InText = false) {
    TRegKey* k = &Root();
    for (const auto& part : path) k = Ensure(*k, part, InText);
    return k;
  }
  TRegKey* Ensure(TRegKey& parent, std::string_view name, bool InText) {
    if (TRegKey* k = parent.Find(name)) return k;
    TRegKey& k = NewKey();
    if (InText) {
      k.name = name;
    } else {
      k.Extra().ownName = name;
      k.name = k.extra->ownName;
    }
    parent.AddKey(&k);
    return &k;
  }

 private:
  struct TSection {
    std::string_view path;   // the names below the root, as the header has them
    std::string_view block;  // its value lines
  };

  // A sub-key of a name in the text, appended without a search (see TRegKey::Settle).
  TRegKey* Append(TRegKey& parent, std::string_view name) {
    TRegKey& k = NewKey();
    k.name = name;
    parent.keys.push_back(&k);
    parent.keyIndex.reset();
    parent.unsettled = true;
    return &k;
  }
  TRegKey& NewKey() {
    if (used_ == kBlock) {
      blocks_.push_back(std::make_unique<TRegKey[]>(kBlock));
      used_ = 0;
    }
    return blocks_.back()[used_++];
  }
  static void AddBlock(TRegKey& key, std::string_view block) {
    if (TrimView(block).empty()) return;
    if (!key.HasValues()) {
      key.pending = block;
    } else {
      key.ReadPending();
      ParseValueLines(key, block);
    }
  }

  // A key of the listed sections, made for look-ups until the tree is built: the
  // values of every section of its path; null when no section has the path or below.
  template <class Path>
  TRegKey* Look(const Path& path) {
    std::string folded;
    for (const auto& part : path) folded.append(Fold(part)).append("\\");
    const auto known = looked_.find(folded);
    if (known != looked_.end()) return known->second.get();
    std::unique_ptr<TRegKey> key;
    bool exists = path.empty();
    for (const TSection& section : sections_) {
      const TMatch m = MatchPath(section.path, path);
      if (m == TMatch::Other) continue;
      exists = true;
      if (m != TMatch::Equal) continue;
      if (!key) key = std::make_unique<TRegKey>();
      AddBlock(*key, section.block);
    }
    if (exists && !key) key = std::make_unique<TRegKey>();
    return (looked_[folded] = std::move(key)).get();
  }

  // Makes every key of the listed sections, walking again only where a section's path
  // differs from the one before.
  void Build() {
    if (built_) return;
    built_ = true;
    looked_.clear();
    std::vector<std::string_view> parts, lastPath;
    std::vector<TRegKey*> lastKeys;
    for (const TSection& section : sections_) {
      SplitKeyView(section.path, parts);
      size_t same = 0;
      while (same < lastPath.size() && same < parts.size() && SameName(lastPath[same], parts[same])) ++same;
      lastPath.resize(same);
      lastKeys.resize(same);
      TRegKey* current = same ? lastKeys.back() : &root_;
      for (size_t i = same; i < parts.size(); ++i) {
        current = Append(*current, parts[i]);
        lastPath.push_back(parts[i]);
        lastKeys.push_back(current);
      }
      AddBlock(*current, section.block);
    }
    sections_ = {};
  }

  static constexpr size_t kBlock = 1024;
  std::unique_ptr<char[]> text_;
  size_t size_ = 0;
  TRegKey root_;
  std::vector<TSection> sections_;
  bool built_ = true;
  std::unordered_map<std::string, std::unique_ptr<TRegKey>> looked_;
  // The keys, made a block at a time; none moves or goes before the tree.
  std::vector<std::unique_ptr<TRegKey[]>> blocks_;
  size_t used_ = kBlock;
};

// The names of a "\"-separated path; empty names are dropped.
void SplitKeyView(std::string_view path, std::vector<std::string_view>& parts) {
  parts.clear();
  size_t start = 0;
  while (start <= path.size()) {
    size_t end = path.find('\\', start);
    if (end == std::string_view::npos) end = path.size();
    if (end > start) parts.push_back(path.substr(start, end - start));
    start = end + 1;
  }
}

std::vector<std::string> SplitKeyPath(const std::string& path) {
  std::vector<std::string_view> views;
  SplitKeyView(path, views);
  return std::vector<std::string>(views.begin(), views.end());
}

// Why a key path of these measures cannot be held; empty when it can.
std::string LimitProblem(size_t depth, size_t longestName, size_t length) {
  if (depth > kMaxRegistryKeyDepth)
    return "the key path has " + std::to_string(depth) + " levels, more than " + std::to_string(kMaxRegistryKeyDepth);
  if (longestName > kMaxRegistryKeyName)
    return "a key name is " + std::to_string(longestName) + " bytes long, more than " +
           std::to_string(kMaxRegistryKeyName);
  if (length > kMaxRegistryKeyPath)
    return "the key path is " + std::to_string(length) + " bytes long, more than " +
           std::to_string(kMaxRegistryKeyPath);
  return "";
}

// Why a key path (the names below the root) cannot be held; empty when it can.
template <class Path>
std::string KeyPathProblem(const Path& path) {
  size_t longest = 0, length = 0;
  for (const auto& part : path) {
    longest = std::max(longest, part.size());
    length += part.size() + (length ? 1 : 0);
  }
  return LimitProblem(path.size(), longest, length);
}

// The same for the names of a "\"-separated text.
bool KeyPathFits(std::string_view path) {
  size_t depth = 0, longest = 0, length = 0;
  for (size_t at = 0; at < path.size();) {
    size_t end = path.find('\\', at);
    if (end == std::string_view::npos) end = path.size();
    if (end > at) {
      ++depth;
      longest = std::max(longest, end - at);
      length += end - at + (length ? 1 : 0);
    }
    at = end + 1;
  }
  return depth <= kMaxRegistryKeyDepth && longest <= kMaxRegistryKeyName && length <= kMaxRegistryKeyPath;
}

// ---------------------------------------------------------------- file format

std::string Quote(const std::string& s) {
  std::string r = "\"";
  for (char c : s) {
    if (c == '\\' || c == '"') r += '\\';
    r += c;
  }
  return r + '"';
}

bool HasControlChars(const std::string& s) {
  for (unsigned char c : s)
    if (c < 0x20 || c == 0x7F) return true;
  return false;
}

std::string HexBytes(const std::string& s, bool terminator) {
  std::string r;
  char buf[4];
  for (unsigned char c : s) {
    std::snprintf(buf, sizeof buf, "%02x,", c);
    r += buf;
  }
  if (terminator) return r + "00";
  if (!r.empty()) r.pop_back();
  return r;
}

// Parses a quoted text starting at s[pos] == '"'; pos ends after the closing quote.
bool ParseQuoted(std::string_view s, size_t& pos, std::string& out) {
  out.clear();
  for (size_t i = pos + 1; i < s.size(); ++i) {
    if (s[i] == '\\' && i + 1 < s.size() && (s[i + 1] == '\\' || s[i + 1] == '"')) {
      out += s[++i];
    } else if (s[i] == '"') {
      pos = i + 1;
      return true;
    } else {
      out += s[i];
    }
  }
  return false;
}

bool ParseHexBytes(std::string_view s, std::string& out) {
  out.clear();
  size_t i = 0;
  while (i < s.size()) {
    while (i < s.size() && (s[i] == ',' || s[i] == ' ' || s[i] == '\t')) ++i;
    if (i >= s.size()) break;
    if (i + 1 >= s.size() || !isxdigit(static_cast<unsigned char>(s[i])) ||
        !isxdigit(static_cast<unsigned char>(s[i + 1])))
      return false;
    out += char(std::strtoul(std::string(s.substr(i, 2)).c_str(), nullptr, 16));
    i += 2;
  }
  return true;
}

void ParseValue(TRegKey& key, const std::string& name, const std::string& data) {
  if (data == "-") {  // a deletion entry of an import file
    key.EraseValue(name);
    return;
  }
  TRegValue& v = key.EnsureValue(name);
  const std::string keptName = v.name;  // the first spelling stays
  v = TRegValue{};
  v.name = keptName;
  if (!data.empty() && data[0] == '"') {
    size_t pos = 0;
    if (ParseQuoted(data, pos, v.text)) return;
  } else if (data.size() > 6 && SameText(std::string_view(data).substr(0, 6), "dword:")) {
    const std::string digits = data.substr(6);
    char* end = nullptr;
    const unsigned long n = std::strtoul(digits.c_str(), &end, 16);
    if (!digits.empty() && digits.size() <= 8 && end && *end == 0) {
      v.kind = TRegValue::kDword;
      v.dword = uint32_t(n);
      return;
    }
  } else if (data.size() > 7 && SameText(std::string_view(data).substr(0, 7), "hex(1):")) {
    std::string bytes;
    if (ParseHexBytes(std::string_view(data).substr(7), bytes) && !bytes.empty() && bytes.back() == 0) {
      bytes.pop_back();
      v.text = bytes;
      return;
    }
  }
  v.kind = TRegValue::kOther;
  v.other = data;
}

std::string_view TrimView(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) s.remove_suffix(1);
  return s;
}

// The lines of a text one by one, without their line ends; At is where the next starts.
class TLines {
 public:
  explicit TLines(std::string_view text) : text_(text) {}
  bool Next(std::string_view& line) {
    if (at_ >= text_.size()) return false;
    size_t end = text_.find('\n', at_);
    if (end == std::string_view::npos) end = text_.size();
    line = text_.substr(at_, end - at_);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    at_ = end + 1;
    return true;
  }
  size_t At() const { return std::min(at_, text_.size()); }

 private:
  std::string_view text_;
  size_t at_ = 0;
};

// The value lines of a section.
void ParseValueLines(TRegKey& key, std::string_view block) {
  TLines lines(block);
  std::string_view line;
  std::string name, data;
  while (lines.Next(line)) {
    const std::string_view trimmed = TrimView(line);
    if (trimmed.empty() || trimmed[0] == ';') continue;
    size_t at;
    if (trimmed[0] == '@') {
      name.clear();
      at = 1;
    } else if (trimmed[0] == '"') {
      at = 0;
      if (!ParseQuoted(trimmed, at, name)) continue;
    } else {
      continue;
    }
    while (at < trimmed.size() && (trimmed[at] == ' ' || trimmed[at] == '\t')) ++at;
    if (at >= trimmed.size() || trimmed[at] != '=') continue;
    data = std::string(TrimView(trimmed.substr(at + 1)));
    // Hex data may go on over several lines, each ending in "\". The mark goes also
    // where the section ends after it, and the data is trimmed again after each step:
    // it is written back on one line, which must read as it does now.
    std::string_view more;
    while (!data.empty() && data[0] != '"' && data.back() == '\\') {
      data.pop_back();
      if (lines.Next(more)) data += TrimView(more);
      data = std::string(TrimView(data));
    }
    ParseValue(key, name, data);
  }
}

void TRegKey::ReadPending() {
  if (pending.empty()) return;
  const std::string_view block = pending;
  pending = {};
  ParseValueLines(*this, block);
}

void TRegKey::Settle() {
  if (!unsettled) return;
  unsettled = false;
  keyIndex.reset();
  std::vector<TRegKey*> all;
  all.swap(keys);
  keys.reserve(all.size());
  for (TRegKey* k : all) {
    TRegKey* first = Find(k->name);
    if (!first) {
      AddKey(k);
      continue;
    }
    // A repeated section: its values and sub-keys join the first, in file order.
    first->ReadPending();
    if (!k->pending.empty()) ParseValueLines(*first, k->pending);
    if (k->extra)
      for (const TRegValue& v : k->extra->values) {
        TRegValue& into = first->EnsureValue(v.name);
        const std::string name = into.name;
        into = v;
        into.name = name;
      }
    for (TRegKey* sub : k->keys) first->keys.push_back(sub);
    first->keyIndex.reset();
    first->unsettled = first->unsettled || !k->keys.empty();
  }
}

// Reads the store file held in the tree's text: the sections are listed, with their
// value lines, to be made keys when asked for. Sections this store cannot hold
// (another root's, or a key path beyond the limits) go to Kept as they stand, to be
// written back unchanged. False, with Error, for a text that is no store file at all.
bool TRegTree::Load(const std::string& rootName, std::string& Kept, std::string& Error) {
  std::string_view text(text_.get(), size_);
  if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
  if (TrimView(text).empty()) return true;
  TLines lines(text);
  std::string_view line;
  lines.Next(line);
  const std::string_view first = TrimView(line);
  if (first != "REGEDIT4" && first != "Windows Registry Editor Version 5.00") {
    Error = "it does not start with the line REGEDIT4";
    return false;
  }
  built_ = false;
  // Room for a section in every few lines: the pages of what is not used are never
  // touched.
  sections_.reserve(text.size() / 24);
  enum { kSkip, kKeep, kList } now = kSkip;
  size_t blockStart = lines.At();
  auto closeBlock = [&](size_t end) {
    const std::string_view block = text.substr(blockStart, end - blockStart);
    if (now == kKeep) Kept.append(block);
    if (now == kList) sections_.back().block = block;
  };
  // A section starts at a line whose first character but blanks is "[": only those
  // characters are looked at, not every line.
  for (size_t at = blockStart, open; (open = text.find('[', at)) != std::string_view::npos;) {
    size_t lineStart = open;
    while (lineStart > 0 && (text[lineStart - 1] == ' ' || text[lineStart - 1] == '\t')) --lineStart;
    if (lineStart > 0 && text[lineStart - 1] != '\n') {
      at = open + 1;
      continue;
    }
    const size_t lineEnd = std::min(text.find('\n', open), text.size());
    closeBlock(lineStart);
    blockStart = at = std::min(lineEnd + 1, text.size());
    now = kSkip;
    const std::string_view header = TrimView(text.substr(lineStart, lineEnd - lineStart));
    const size_t close = header.rfind(']');
    if (close == std::string_view::npos || header.size() < 2 || header[1] == '-') continue;
    std::string_view inner = header.substr(1, close - 1);
    while (!inner.empty() && inner.front() == '\\') inner.remove_prefix(1);
    if (inner.empty()) continue;
    const size_t rootEnd = std::min(inner.find('\\'), inner.size());
    const std::string_view below = inner.substr(rootEnd);
    if (!SameName(inner.substr(0, rootEnd), rootName) || !KeyPathFits(below)) {
      now = kKeep;
      Kept.append(header).append("\r\n");
      continue;
    }
    now = kList;
    sections_.push_back({below, {}});
  }
  closeBlock(text.size());
  return true;
}

void WriteValues(std::string& out, TRegKey& key) {
  for (const TRegValue& v : key.Values()) {
    out += v.name.empty() ? "@" : Quote(v.name);
    out += '=';
    switch (v.kind) {
      case TRegValue::kString:
        out += HasControlChars(v.text) ? "hex(1):" + HexBytes(v.text, true) : Quote(v.text);
        break;
      case TRegValue::kDword: {
        char buf[16];
        std::snprintf(buf, sizeof buf, "dword:%08x", v.dword);
        out += buf;
        break;
      }
      case TRegValue::kOther:
        out += v.other;
        break;
    }
    out += "\r\n";
  }
  out += "\r\n";
}

// Every key below the root as a section, parents before children; the root only when
// it has values. Walks with a stack of its own: no depth of keys can exhaust the
// program's.
std::string StoreText(TRegTree& tree, const std::string& rootName, const std::string& kept) {
  std::string out = "REGEDIT4\r\n\r\n";
  std::string path = rootName;
  TRegKey& root = tree.Root();
  if (!root.Values().empty()) {
    out += "[" + path + "]\r\n";
    WriteValues(out, root);
  }
  struct TFrame {
    TRegKey* key;
    size_t next;
    size_t pathLength;
  };
  root.Settle();
  std::vector<TFrame> stack{{&root, 0, path.size()}};
  while (!stack.empty()) {
    TFrame& top = stack.back();
    if (top.next == top.key->keys.size()) {
      stack.pop_back();
      continue;
    }
    TRegKey* child = top.key->keys[top.next++];
    path.resize(top.pathLength);
    path.append("\\").append(child->name);
    out.append("[").append(path).append("]\r\n");
    WriteValues(out, *child);
    child->Settle();
    stack.push_back({child, 0, path.size()});
  }
  return out + kept;
}

// ---------------------------------------------------------------- folders

std::string HomeFolder() {
  if (const char* h = std::getenv("HOME"); h && *h) return h;
  if (const passwd* pw = getpwuid(getuid()); pw && pw->pw_dir) return pw->pw_dir;
  return "/tmp";
}

std::string UserFolder(const char* env, const char* fallback) {
  if (const char* d = std::getenv(env); d && *d == '/') return d;
  return HomeFolder() + fallback;
}

std::string DefaultWindowsFolder() { return UserFolder("XDG_DATA_HOME", "/.local/share") + "/vx-windows"; }

const char kWindowsNtKey[] = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion";
const char kWindowsKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion";

// What a machine store holds before anything was written: the system folders, and
// the desktop's opener as the program registered for IEXPLORE.EXE (the web browser)
// and EXCEL.EXE (the spreadsheet program, given a workbook to open).
void SeedMachineDefaults(TRegTree& tree) {
  const std::string windows = DefaultWindowsFolder();
  TRegKey* nt = tree.WalkCreate(SplitKeyPath(kWindowsNtKey));
  nt->EnsureValue("SystemRoot").text = windows;
  nt->EnsureValue("SystemDirectory").text = windows + "/system32";
  TRegKey* cv = tree.WalkCreate(SplitKeyPath(kWindowsKey));
  cv->EnsureValue("ProgramFilesDir").text = windows + "/Program Files";
  cv->EnsureValue("CommonFilesDir").text = windows + "/Program Files/Common Files";
  const std::string found = FindProgram("xdg-open");
  const std::string opener = found.empty() ? "/usr/bin/xdg-open" : found;
  for (const char* program : {"IEXPLORE.EXE", "EXCEL.EXE"})
    tree.WalkCreate(SplitKeyPath(std::string(kWindowsKey) + "\\App Paths\\" + program))->EnsureValue("").text = opener;
}

// ---------------------------------------------------------------- the store of one root

class TRootStore {
 public:
  TRootStore(std::string folder, std::string rootName)
      : folder_(std::move(folder)), rootName_(std::move(rootName)), file_(folder_ + "/" + rootName_ + ".reg") {}

  std::mutex lock;

  // The tree as the file holds it now; call with `lock` held.
  TRegTree& Current() {
    Refresh();
    return *tree_;
  }

  // Applies a change under the file lock to the newest tree and saves it when Change
  // answers true. Raises EOSError when the file cannot be written.
  template <class F>
  bool Modify(F&& Change) {
    ForceFolder();
    const std::string lockName = folder_ + "/." + rootName_ + ".reg.lock";
    const int lockFd = open(lockName.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (lockFd < 0) throw EOSError("Cannot lock the registry file " + file_ + ": " + std::strerror(errno));
    struct TUnlock {
      int fd;
      ~TUnlock() { close(fd); }
    } unlock{lockFd};
    while (flock(lockFd, LOCK_EX) != 0 && errno == EINTR) {
    }
    Refresh();
    if (!unreadable_.empty())
      throw EOSError("The registry file " + file_ + " cannot be read (" + unreadable_ +
                     "); it is left as it is and not written");
    tree_->Root();  // a change needs the whole tree
    if (!Change(*tree_)) return false;
    Save();
    return true;
  }

 private:
  struct TSignature {
    bool exists = false;
    dev_t dev = 0;
    ino_t ino = 0;
    off_t size = 0;
    timespec mtime{};
    timespec ctime{};
    bool operator==(const TSignature& o) const {
      return exists == o.exists && dev == o.dev && ino == o.ino && size == o.size && Same(mtime, o.mtime) &&
             Same(ctime, o.ctime);
    }
    static bool Same(const timespec& a, const timespec& b) { return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec; }
  };

  TSignature Stat() const {
    TSignature s;
    struct stat st;
    if (stat(file_.c_str(), &st) == 0) {
      s.exists = true;
      s.dev = st.st_dev;
      s.ino = st.st_ino;
      s.size = st.st_size;
      s.mtime = st.st_mtim;
      s.ctime = st.st_ctim;
    }
    return s;
  }

  void Refresh() {
    const TSignature now = Stat();
    if (loaded_ && now == signature_) return;
    tree_ = std::make_unique<TRegTree>();
    kept_.clear();
    unreadable_.clear();
    if (now.exists) {
      if (!ReadWhole(*tree_)) {
        unreadable_ = std::strerror(errno);
      } else if (std::string error; !tree_->Load(rootName_, kept_, error)) {
        tree_ = std::make_unique<TRegTree>();
        kept_.clear();
        unreadable_ = error;
      }
    } else if (rootName_ == "HKEY_LOCAL_MACHINE") {
      SeedMachineDefaults(*tree_);
    }
    signature_ = now;
    loaded_ = true;
  }

  // Reads the file into the tree; false (with errno) when it cannot be read or is no
  // plain file.
  bool ReadWhole(TRegTree& tree) const {
    const int fd = open(file_.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return false;
    struct TClose {
      int fd;
      ~TClose() { close(fd); }
    } closer{fd};
    struct stat st;
    if (fstat(fd, &st) != 0) return false;
    if (!S_ISREG(st.st_mode)) {
      errno = EINVAL;
      return false;
    }
    return tree.ReadText(fd, size_t(st.st_size));
  }

  void ForceFolder() const {
    std::string path;
    for (const std::string& part : SplitFolder(folder_)) {
      path += "/" + part;
      mkdir(path.c_str(), 0755);
    }
  }

  static std::vector<std::string> SplitFolder(const std::string& f) {
    std::vector<std::string> parts;
    size_t start = 0;
    while (start <= f.size()) {
      size_t end = f.find('/', start);
      if (end == std::string::npos) end = f.size();
      if (end > start) parts.push_back(f.substr(start, end - start));
      start = end + 1;
    }
    return parts;
  }

  void Save() {
    const std::string text = StoreText(*tree_, rootName_, kept_);
    // A store that is a symbolic link is written through to the file it names.
    const std::string target = FollowLinks(file_);
    if (!swept_) RemoveDeadWritersFiles(target);
    const std::string temp = target + "." + std::to_string(getpid()) + ".tmp";
    const int fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) throw EOSError("Cannot write the registry file " + temp + ": " + std::strerror(errno));
    size_t done = 0;
    bool ok = true;
    while (done < text.size()) {
      const ssize_t n = write(fd, text.data() + done, text.size() - done);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) {
        ok = false;
        if (n == 0) errno = ENOSPC;
        break;
      }
      done += size_t(n);
    }
    ok = ok && fsync(fd) == 0;
    ok = (close(fd) == 0) && ok;
    if (!ok || rename(temp.c_str(), target.c_str()) != 0) {
      const int err = errno;
      unlink(temp.c_str());
      throw EOSError("Cannot write the registry file " + file_ + ": " + std::strerror(err));
    }
    signature_ = Stat();
  }

  // A writer ended by force between its write and its rename leaves its
  // "<store>.<pid>.tmp" behind; the next writer removes those whose process is gone.
  void RemoveDeadWritersFiles(const std::string& target) {
    swept_ = true;
    const size_t slash = target.rfind('/');
    const std::string dir = slash == std::string::npos ? "." : target.substr(0, slash == 0 ? 1 : slash);
    const std::string prefix = target.substr(slash == std::string::npos ? 0 : slash + 1) + ".";
    std::unique_ptr<DIR, int (*)(DIR*)> d(opendir(dir.c_str()), closedir);
    if (!d) return;
    std::vector<std::string> dead;
    while (const dirent* e = readdir(d.get())) {
      const std::string_view name = e->d_name;
      if (!name.starts_with(prefix) || !name.ends_with(".tmp")) continue;
      const std::string_view pid = name.substr(prefix.size(), name.size() - prefix.size() - 4);
      const auto digit = [](char c) { return c >= '0' && c <= '9'; };
      if (pid.empty() || pid.size() > 9 || !std::all_of(pid.begin(), pid.end(), digit)) continue;
      // A process of that number that lives (or belongs to another user) may be writing.
      if (!ProcessEnded(std::stoi(std::string(pid)))) continue;
      dead.emplace_back(name);
    }
    for (const std::string& name : dead) {
      const std::string path = dir + "/" + name;
      struct stat st;
      if (lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode)) unlink(path.c_str());
    }
  }

  const std::string folder_;
  const std::string rootName_;
  const std::string file_;
  std::unique_ptr<TRegTree> tree_ = std::make_unique<TRegTree>();
  std::string kept_;        // sections written back as they were read
  std::string unreadable_;  // why the file does not read as a store; empty when it does
  TSignature signature_;
  bool loaded_ = false;
  bool swept_ = false;
};

const char* RootName(HKEY root) {
  switch (reinterpret_cast<uintptr_t>(root)) {
    case 0x80000000: return "HKEY_CLASSES_ROOT";
    case 0x80000001: return "HKEY_CURRENT_USER";
    case 0x80000002: return "HKEY_LOCAL_MACHINE";
    case 0x80000003: return "HKEY_USERS";
    case 0x80000005: return "HKEY_CURRENT_CONFIG";
    default: return nullptr;
  }
}

// The store of a root in the current registry folder; null for an unknown root.
TRootStore* StoreFor(HKEY root) {
  const char* name = RootName(root);
  if (!name) return nullptr;
  static auto* guard = new std::mutex;
  static auto* stores = new std::map<std::string, std::unique_ptr<TRootStore>>;
  const std::string folder = RegistryFolder();
  std::lock_guard lock(*guard);
  auto& s = (*stores)[folder + "\n" + name];
  if (!s) s = std::make_unique<TRootStore>(folder, name);
  return s.get();
}

std::string Quoted(const std::string& name) { return "'" + name + "'"; }

}  // namespace

std::string RegistryFolder() {
  if (const char* d = std::getenv("VX_REGISTRY_DIR"); d && *d) return d;
  return UserFolder("XDG_CONFIG_HOME", "/.config") + "/vx-registry";
}

// ---------------------------------------------------------------- TRegistry

TRegistry::TRegistry() : root_(HKEY_CURRENT_USER) {}

void TRegistry::SetRootKey(HKEY Value) {
  CloseKey();
  root_ = Value;
}

std::vector<std::string> TRegistry::Resolve(const std::string& Key, std::string* shownPath) const {
  const bool relative = Key.empty() || Key[0] != '\\';
  const std::string rest = relative ? Key : Key.substr(1);
  std::vector<std::string> path = (relative && open_) ? keyPath_ : std::vector<std::string>{};
  for (auto& part : SplitKeyPath(rest)) path.push_back(part);
  if (shownPath) *shownPath = (relative && open_) ? currentPath_ + "\\" + rest : rest;
  return path;
}

bool TRegistry::Open(const std::string& Key, bool CanCreate, bool ReadOnly) {
  TRootStore* store = StoreFor(root_);
  if (!store) {
    lastError_ = "unknown root key";
    return false;
  }
  std::string shown;
  std::vector<std::string> path = Resolve(Key, &shown);
  if (std::string problem = KeyPathProblem(path); !problem.empty()) {
    // A name of any length is shown by its start.
    lastError_ = "Cannot open the key " + (shown.size() > 80 ? shown.substr(0, 80) + "..." : shown) + ": " + problem;
    return false;
  }
  std::lock_guard guard(store->lock);
  // A key that is there is opened without a change to the store.
  bool ok = store->Current().Walk(path) != nullptr;
  if (!ok && CanCreate && !ReadOnly) {
    try {
      store->Modify([&](TRegTree& tree) {
        const bool existed = tree.Walk(path) != nullptr;
        tree.WalkCreate(path);
        return !existed;
      });
      ok = true;
    } catch (const EOSError& e) {
      lastError_ = e.Message();
    }
  } else if (!ok) {
    lastError_ = "The key " + shown + " does not exist";
  }
  if (ok) {
    lastError_.clear();
    open_ = true;
    readOnly_ = ReadOnly;
    keyPath_ = std::move(path);
    currentPath_ = std::move(shown);
  }
  return ok;
}

bool TRegistry::OpenKey(const std::string& Key, bool CanCreate) { return Open(Key, CanCreate, false); }

bool TRegistry::OpenKeyReadOnly(const std::string& Key) { return Open(Key, false, true); }

void TRegistry::CloseKey() {
  open_ = false;
  readOnly_ = false;
  keyPath_.clear();
  currentPath_.clear();
}

bool TRegistry::KeyExists(const std::string& Key) {
  TRootStore* store = StoreFor(root_);
  if (!store) return false;
  const std::vector<std::string> path = Resolve(Key, nullptr);
  std::lock_guard guard(store->lock);
  return store->Current().Walk(path) != nullptr;
}

bool TRegistry::ValueExists(const std::string& Name) {
  TRootStore* store = StoreFor(root_);
  if (!store || !open_) return false;
  std::lock_guard guard(store->lock);
  TRegKey* key = store->Current().Walk(keyPath_);
  return key && key->FindValue(Name);
}

std::string TRegistry::ReadString(const std::string& Name) {
  TRootStore* store = StoreFor(root_);
  if (!store || !open_) return "";
  std::lock_guard guard(store->lock);
  TRegKey* key = store->Current().Walk(keyPath_);
  TRegValue* v = key ? key->FindValue(Name) : nullptr;
  if (!v) return "";
  if (v->kind != TRegValue::kString) throw ERegistryException("Invalid data type for " + Quoted(Name));
  return v->text;
}

Integer TRegistry::ReadInteger(const std::string& Name) {
  TRootStore* store = StoreFor(root_);
  TRegValue* v = nullptr;
  std::unique_lock<std::mutex> guard;
  if (store && open_) {
    guard = std::unique_lock(store->lock);
    TRegKey* key = store->Current().Walk(keyPath_);
    v = key ? key->FindValue(Name) : nullptr;
  }
  if (!v) throw ERegistryException("Failed to get data for " + Quoted(Name));
  if (v->kind != TRegValue::kDword) throw ERegistryException("Invalid data type for " + Quoted(Name));
  return Integer(v->dword);
}

// Stores one value in the open key; false when there is none to write to.
bool TRegistry::SetValue(const std::string& Name, const std::function<bool(vx_registry::TValue&)>& Assign) {
  TRootStore* store = StoreFor(root_);
  if (!store || !open_ || readOnly_) {
    lastError_ = !open_ ? "no key is open" : "the key is open for reading only";
    return false;
  }
  bool ok = false;
  std::lock_guard guard(store->lock);
  try {
    lastError_ = "the key " + currentPath_ + " no longer exists";
    store->Modify([&](TRegTree& tree) {
      TRegKey* key = tree.Walk(keyPath_);
      if (!key) return false;
      ok = true;
      return Assign(key->EnsureValue(Name));
    });
  } catch (const EOSError& e) {
    lastError_ = e.Message();
    ok = false;
  }
  if (ok) lastError_.clear();
  return ok;
}

void TRegistry::WriteString(const std::string& Name, const std::string& Value) {
  const bool ok = SetValue(Name, [&](TRegValue& v) {
    const bool same = v.kind == TRegValue::kString && v.text == Value;
    v.kind = TRegValue::kString;
    v.text = Value;
    return !same;
  });
  if (!ok) throw ERegistryException("Failed to set data for " + Quoted(Name));
}

void TRegistry::WriteInteger(const std::string& Name, Integer Value) {
  const bool ok = SetValue(Name, [&](TRegValue& v) {
    const bool same = v.kind == TRegValue::kDword && v.dword == uint32_t(Value);
    v.kind = TRegValue::kDword;
    v.dword = uint32_t(Value);
    return !same;
  });
  if (!ok) throw ERegistryException("Failed to set data for " + Quoted(Name));
}

bool TRegistry::DeleteValue(const std::string& Name) {
  TRootStore* store = StoreFor(root_);
  if (!store || !open_ || readOnly_) return false;
  std::lock_guard guard(store->lock);
  try {
    return store->Modify([&](TRegTree& tree) {
      TRegKey* key = tree.Walk(keyPath_);
      return key && key->EraseValue(Name);
    });
  } catch (const EOSError&) {
    return false;
  }
}

bool TRegistry::DeleteKey(const std::string& Key) {
  TRootStore* store = StoreFor(root_);
  if (!store || readOnly_) return false;
  std::vector<std::string> path = Resolve(Key, nullptr);
  if (path.empty()) return false;
  const std::string last = path.back();
  path.pop_back();
  std::lock_guard guard(store->lock);
  try {
    return store->Modify([&](TRegTree& tree) {
      TRegKey* parent = tree.Walk(path);
      return parent && parent->EraseKey(last);
    });
  } catch (const EOSError&) {
    return false;
  }
}

// ---------------------------------------------------------------- system folders

namespace {
UINT CopyFolder(const std::string& value, char* buffer, UINT size) {
  if (!buffer || size <= value.size()) return UINT(value.size() + 1);
  std::memcpy(buffer, value.c_str(), value.size() + 1);
  return UINT(value.size());
}

std::string MachineFolder(const char* name, const std::string& fallback) {
  TRegistry reg;
  reg.SetRootKey(HKEY_LOCAL_MACHINE);
  std::string value;
  if (reg.OpenKeyReadOnly(std::string("\\") + kWindowsNtKey)) {
    try {
      value = reg.ReadString(name);
    } catch (const ERegistryException&) {
      value.clear();
    }
  }
  return value.empty() ? fallback : value;
}
}  // namespace

UINT GetWindowsDirectory(char* lpBuffer, UINT uSize) {
  return CopyFolder(MachineFolder("SystemRoot", DefaultWindowsFolder()), lpBuffer, uSize);
}

UINT GetSystemDirectory(char* lpBuffer, UINT uSize) {
  return CopyFolder(MachineFolder("SystemDirectory", DefaultWindowsFolder() + "/system32"), lpBuffer, uSize);
}
