#include "bizcontrols/HtmlParser.h"

#include <algorithm>
#include <cstring>

#include "platform/rtl/sysutils.h"

namespace {
constexpr size_t npos = std::string_view::npos;
constexpr int kMaxFlags = 31;  // flags are bits of a 32-bit integer
}  // namespace

// Finds the start tags of one level's text from left to right. Each name's next
// occurrence is kept, so a scan of the whole level costs one pass per name however
// many tags it holds.
class THtmlParser::TScanner {
 public:
  TScanner(const THtmlParser& Parser, std::string_view Text)
      : parser_(Parser), text_(Text), lastGt_(Text.rfind('>')), next_(Parser.tags_.size(), kUnknown) {}

  // FindSrtTag of the text from Pos: the offset from Pos, or -1.
  int Find(size_t Pos, int& TagLength) {
    size_t best = npos;
    for (size_t i = 0; i < next_.size(); ++i) {
      size_t& at = next_[i];
      if (at == kNone) continue;
      if (at == kUnknown || at < Pos) at = text_.find(parser_.tags_[i], Pos);
      // No ">" after this occurrence means none after any later one either.
      if (at == npos || lastGt_ == npos || at > lastGt_) {
        at = kNone;
        continue;
      }
      best = std::min(best, at);
    }
    if (best == npos) {
      TagLength = 0;
      return -1;
    }
    TagLength = int(text_.find('>', best) - best + 1);
    return int(best - Pos);
  }

 private:
  static constexpr size_t kUnknown = npos - 1;
  static constexpr size_t kNone = npos;

  const THtmlParser& parser_;
  std::string_view text_;
  size_t lastGt_;
  std::vector<size_t> next_;
};

THtmlParser::THtmlParser(TComponent* AOwner, const std::string& TagList, TList* GroupList)
    : TComponent(AOwner), groupList_(GroupList) {
  size_t start = 0;
  for (;;) {
    const size_t comma = TagList.find(',', start);
    std::string name = TagList.substr(start, comma == npos ? npos : comma - start);
    // An empty name starts no tag, but keeps its place: the flags follow the places.
    if (!name.empty()) tags_.push_back("<" + name);
    names_.push_back(std::move(name));
    if (comma == npos) break;
    start = comma + 1;
  }
  marqueeFlag_ = GetFlag("<MARQUEE>");
}

THtmlParser::~THtmlParser() = default;

Integer THtmlParser::GetFlag(std::string_view StartTag) const {
  for (size_t i = 0; i < names_.size() && i < size_t(kMaxFlags); ++i)
    if (StartTag.size() == names_[i].size() + 2 && StartTag.front() == '<' && StartTag.back() == '>' &&
        StartTag.substr(1, names_[i].size()) == names_[i])
      return Integer(1) << i;
  return 0;
}

int THtmlParser::FindSrtTag(std::string_view Text, int& TagLength) const {
  TScanner scanner(*this, Text);
  return scanner.Find(0, TagLength);
}

int THtmlParser::FindEndTag(std::string_view Text, const std::string& Name) {
  const std::string open = "<" + Name, close = "</" + Name + ">";
  int depth = 0;
  for (size_t i = Text.find('<'); i != npos; i = Text.find('<', i + 1)) {
    const std::string_view rest = Text.substr(i);
    if (rest.substr(0, open.size()) == open && rest.size() > open.size() &&
        (rest[open.size()] == ' ' || rest[open.size()] == '>')) {
      ++depth;
    } else if (rest.substr(0, close.size()) == close && --depth == 0) {
      return int(i);
    }
  }
  return -1;
}

int THtmlParser::Parse(const std::string& Text) {
  items_.Clear();
  const size_t nul = Text.find('\0');
  ParseIterator(0, std::string_view(Text).substr(0, nul), "");
  return items_.Count();
}

void THtmlParser::Emit(Integer Flags, std::string_view Text, const std::string& Prop) {
  items_.Add(new ParsedItem(Flags, std::string(Text), Prop, groupID_));
}

void THtmlParser::ParseIterator(Integer Flags, std::string_view Text, const std::string& Prop, int Depth) {
  auto groups = [&] {
    // Runs inside a scrolling-text block share its group; a new block takes the next number.
    if (groupID_ >= 0 && !(Flags & marqueeFlag_)) groupID_ = -1;
    if ((Flags & marqueeFlag_) && groupID_ < 0) groupID_ = ++lastGroupID_;
  };
  if (Depth >= kMaxDepth) {
    if (Text.empty()) return;
    groups();
    Emit(Flags, Text, Prop);
    return;
  }
  TScanner scanner(*this, Text);
  size_t pos = 0;
  while (pos < Text.size()) {
    groups();
    int n = 0;
    const int s = scanner.Find(pos, n);
    if (s < 0) break;
    const std::string_view inner = Text.substr(pos + s + 1, size_t(n) - 2);
    const size_t space = inner.find(' ');
    const std::string name(inner.substr(0, space));
    const std::string attributes(space == npos ? std::string_view() : inner.substr(space + 1));
    if (s > 0) Emit(Flags, Text.substr(pos, size_t(s)), Prop);
    if (LowerCase(name) == "br") {
      items_.Add(new ParsedItem(1, "", attributes, groupID_));
      pos += size_t(s) + size_t(n);
      continue;
    }
    const Integer flags = Flags | GetFlag(MakeTag_s(name));
    const std::string prop = attributes + " " + Prop;
    const size_t bodyStart = pos + size_t(s) + size_t(n);
    const int e = FindEndTag(Text.substr(pos + size_t(s)), name);
    if (e < 0) {
      // Unclosed: the tag encloses the rest of this level.
      ParseIterator(flags, Text.substr(bodyStart), prop, Depth + 1);
      pos = Text.size();
    } else {
      ParseIterator(flags, Text.substr(bodyStart, size_t(std::max(0, e - n))), prop, Depth + 1);
      pos += size_t(s) + size_t(e) + name.size() + 3;  // past "</name>"
    }
  }
  if (pos < Text.size()) Emit(Flags, Text.substr(pos), Prop);
}

namespace HtmlParser {
void Register() { RegisterComponents("Samples", {THtmlParser::StaticClass()}); }
}  // namespace HtmlParser
