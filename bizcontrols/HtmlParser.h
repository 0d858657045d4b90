// The tag parser of the rich label: cuts a short text written with HTML-like tags into
// runs of plain text. Each run carries the tags that enclose it as bit flags (the flag
// of a tag name is 2 to the power of its index in the parser's tag list), the attribute
// text of those tags (the innermost tag's first) and the number of the scrolling-text
// group it belongs to. Only the listed names are known, written exactly as listed
// (upper case); there are no entities, comments or self-closing tags. A start tag
// without its end tag encloses the rest of the text around it.
#pragma once

#include <string>
#include <string_view>

#include "platform/rtl/classes.h"

// One run of the parsed text.
class ParsedItem : public TObject {
  VX_CLASS(ParsedItem, TObject)

 public:
  ParsedItem() = default;
  ParsedItem(Integer AItemType, std::string AStr, std::string AProp, Integer AGID)
      : ItemType(AItemType), Str(std::move(AStr)), Prop(std::move(AProp)), GID(AGID) {}

  Integer ItemType = 0;  // the flags of the enclosing tags (1 alone: a line break)
  std::string Str;       // the text; empty for a line break
  std::string Prop;      // the attribute text in force
  Integer GID = -1;      // the scrolling-text group, or -1
};

class THtmlParser : public TComponent {
  VX_CLASS(THtmlParser, TComponent)

 public:
  // TagList names the known tags, separated by commas (nothing is trimmed). The group
  // list is kept for the owner and not read.
  explicit THtmlParser(TComponent* AOwner, const std::string& TagList = "", TList* GroupList = nullptr);
  ~THtmlParser() override;

  // Replaces the runs by those of Text (up to its first NUL) and answers their count.
  // Group numbers go on counting from the previous Parse.
  int Parse(const std::string& Text);
  int Count() const { return items_.Count(); }

  // The fields of run Index; a bad index raises EListError.
  Integer GetParsedItemType(int Index) const { return Item(Index)->ItemType; }
  std::string GetParsedItemStr(int Index) const { return Item(Index)->Str; }
  std::string GetParsedItemProp(int Index) const { return Item(Index)->Prop; }
  Integer GetParsedItemGID(int Index) const { return Item(Index)->GID; }

  // The flag of a start tag written exactly "<NAME>", or 0.
  Integer GetFlag(std::string_view StartTag) const;
  static std::string MakeTag_s(const std::string& Name) { return "<" + Name + ">"; }
  static std::string MakeTag_e(const std::string& Name) { return "</" + Name + ">"; }

  // The offset of the first start tag in Text: the earliest "<" + a known name that a
  // ">" follows somewhere (the character after the name is not examined, so "<B" also
  // finds "<BR>"). TagLength is its length up to and with the first ">". -1 and 0 when
  // there is none.
  int FindSrtTag(std::string_view Text, int& TagLength) const;
  // The offset of the end tag "</Name>" that closes the start tag at the beginning of
  // Text, counting nested "<Name>" and "<Name ...>" tags; -1 when it is missing.
  static int FindEndTag(std::string_view Text, const std::string& Name);

  TList* GroupList() const { return groupList_; }

  // Tags nested deeper than this are not parsed: their body is one run of plain text.
  static constexpr int kMaxDepth = 100;

 protected:
  // Parses one level: the runs of Text enclosed by tags with the flags Flags and the
  // attribute text Prop.
  void ParseIterator(Integer Flags, std::string_view Text, const std::string& Prop, int Depth = 0);

 private:
  class TScanner;
  ParsedItem* Item(int Index) const { return static_cast<ParsedItem*>(items_.Items(Index)); }
  void Emit(Integer Flags, std::string_view Text, const std::string& Prop);

  std::vector<std::string> tags_;   // "<" + name of each name that is not empty, in list order
  std::vector<std::string> names_;  // every name of the list: its place gives its flag
  TObjectList items_{true};
  TList* groupList_;
  Integer marqueeFlag_ = 0;
  Integer lastGroupID_ = -1;
  Integer groupID_ = -1;
};

namespace HtmlParser {
// Puts THtmlParser on the palette page "Samples".
void Register();
}  // namespace HtmlParser
