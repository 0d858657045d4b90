#include "platform/rtl/inifiles.h"

#include <cerrno>
#include <cstring>

#include "platform/rtl/sysutils.h"

// ---- TCustomIniFile ----

Integer TCustomIniFile::ReadInteger(const std::string& Section, const std::string& Ident, Integer Default) const {
  return StrToIntDef(ReadString(Section, Ident, ""), Default);
}

void TCustomIniFile::WriteInteger(const std::string& Section, const std::string& Ident, Integer Value) {
  WriteString(Section, Ident, IntToStr(Value));
}

bool TCustomIniFile::ReadBool(const std::string& Section, const std::string& Ident, bool Default) const {
  return ReadInteger(Section, Ident, Default ? 1 : 0) != 0;
}

void TCustomIniFile::WriteBool(const std::string& Section, const std::string& Ident, bool Value) {
  WriteString(Section, Ident, Value ? "1" : "0");
}

bool TCustomIniFile::ValueExists(const std::string& Section, const std::string& Ident) const {
  TStringList keys;
  ReadSection(Section, &keys);
  return keys.IndexOf(Ident) >= 0;
}

// ---- TMemIniFile ----

TMemIniFile::TMemIniFile(const std::string& FileName) : TCustomIniFile(FileName) { LoadValues(); }

TMemIniFile::~TMemIniFile() = default;

void TMemIniFile::LoadValues() {
  std::string text;
  if (!FileName().empty() && !ReadRegularFile(FileName(), text)) {
    // What is not there, or is no plain file (a pipe, a device), reads as empty; a
    // file that is there and cannot be read is an error.
    const int error = errno;
    if (error != EINVAL && FileExists(FileName()))
      throw EFOpenError(Format("Cannot open file \"%s\". %s", ExpandFileName(FileName()), std::strerror(error)));
    text.clear();
  }
  Parse(vx_classes::SplitLines(text));
}

void TMemIniFile::Clear() { sections_.clear(); }

const TMemIniFile::Section* TMemIniFile::Find(const std::string& Name) const {
  for (const Section& s : sections_)
    if (SameText(s.name, Name)) return &s;
  return nullptr;
}

TMemIniFile::Section& TMemIniFile::AddSection(const std::string& Name) {
  sections_.push_back(Section{Name, std::make_unique<TStringList>()});
  return sections_.back();
}

void TMemIniFile::SetStrings(TStrings* List) {
  std::vector<std::string> lines;
  lines.reserve(static_cast<size_t>(List->Count()));
  for (int i = 0; i < List->Count(); ++i) lines.push_back(List->Strings(i));
  Parse(std::vector<std::string_view>(lines.begin(), lines.end()));
}

namespace {
std::string_view TrimView(std::string_view s) {
  while (!s.empty() && static_cast<unsigned char>(s.front()) <= ' ') s.remove_prefix(1);
  while (!s.empty() && static_cast<unsigned char>(s.back()) <= ' ') s.remove_suffix(1);
  return s;
}
}  // namespace

void TMemIniFile::Parse(const std::vector<std::string_view>& Lines) {
  Clear();
  TStringList* lines = nullptr;
  std::string line;
  for (std::string_view raw : Lines) {
    const std::string_view s = TrimView(raw);
    if (s.empty() || s[0] == ';') continue;
    if (s[0] == '[' && s.size() >= 2 && s.back() == ']') {
      lines = AddSection(std::string(TrimView(s.substr(1, s.size() - 2)))).lines.get();
      continue;
    }
    if (!lines) continue;  // text before the first section belongs to none
    const size_t eq = s.find('=');
    if (eq == std::string_view::npos) {
      line = s;
    } else {
      line = TrimView(s.substr(0, eq));
      line.push_back('=');
      line.append(TrimView(s.substr(eq + 1)));
    }
    lines->Add(line);
  }
}

void TMemIniFile::GetStrings(TStrings* List) const {
  List->BeginUpdate();
  try {
    List->Clear();
    for (const Section& s : sections_) {
      List->Add("[" + s.name + "]");
      List->AddStrings(s.lines.get());
      List->Add("");
    }
  } catch (...) {
    List->EndUpdate();
    throw;
  }
  List->EndUpdate();
}

void TMemIniFile::Rename(const std::string& FileName, bool Reload) {
  SetFileName(FileName);
  if (Reload) LoadValues();
}

std::string TMemIniFile::ReadString(const std::string& Section, const std::string& Ident,
                                    const std::string& Default) const {
  const auto* s = Find(Section);
  if (!s) return Default;
  const int i = s->lines->IndexOfName(Ident);
  return i < 0 ? Default : s->lines->ValueFromIndex(i);
}

void TMemIniFile::WriteString(const std::string& Section, const std::string& Ident, const std::string& Value) {
  const auto* found = Find(Section);
  TStringList* lines = found ? found->lines.get() : AddSection(Section).lines.get();
  const std::string line = Ident + "=" + Value;
  const int i = lines->IndexOfName(Ident);
  if (i >= 0)
    lines->SetStrings(i, line);
  else
    lines->Add(line);
}

void TMemIniFile::ReadSection(const std::string& Section, TStrings* Strings) const {
  Strings->BeginUpdate();
  try {
    Strings->Clear();
    if (const auto* s = Find(Section)) {
      for (int i = 0; i < s->lines->Count(); ++i) {
        const std::string line = s->lines->Strings(i);
        const size_t eq = line.find('=');
        if (eq != std::string::npos) Strings->Add(line.substr(0, eq));
      }
    }
  } catch (...) {
    Strings->EndUpdate();
    throw;
  }
  Strings->EndUpdate();
}

void TMemIniFile::ReadSections(TStrings* Strings) const {
  Strings->BeginUpdate();
  try {
    Strings->Clear();
    for (const Section& s : sections_) Strings->Add(s.name);
  } catch (...) {
    Strings->EndUpdate();
    throw;
  }
  Strings->EndUpdate();
}

void TMemIniFile::ReadSectionValues(const std::string& Section, TStrings* Strings) const {
  Strings->BeginUpdate();
  try {
    Strings->Clear();
    if (const auto* s = Find(Section)) Strings->AddStrings(s->lines.get());
  } catch (...) {
    Strings->EndUpdate();
    throw;
  }
  Strings->EndUpdate();
}

bool TMemIniFile::SectionExists(const std::string& Section) const { return Find(Section) != nullptr; }

bool TMemIniFile::ValueExists(const std::string& Section, const std::string& Ident) const {
  const auto* s = Find(Section);
  return s && s->lines->IndexOfName(Ident) >= 0;
}

void TMemIniFile::EraseSection(const std::string& Section) {
  for (auto it = sections_.begin(); it != sections_.end(); ++it) {
    if (SameText(it->name, Section)) {
      sections_.erase(it);
      return;
    }
  }
}

void TMemIniFile::DeleteKey(const std::string& Section, const std::string& Ident) {
  if (const auto* s = Find(Section)) {
    const int i = s->lines->IndexOfName(Ident);
    if (i >= 0) s->lines->Delete(i);
  }
}

void TMemIniFile::UpdateFile() {
  TStringList list;
  GetStrings(&list);
  list.SaveToFile(FileName());
}

// ---- TIniFile ----

void TIniFile::WriteString(const std::string& Section, const std::string& Ident, const std::string& Value) {
  TMemIniFile::WriteString(Section, Ident, Value);
  UpdateFile();
}

void TIniFile::EraseSection(const std::string& Section) {
  TMemIniFile::EraseSection(Section);
  UpdateFile();
}

void TIniFile::DeleteKey(const std::string& Section, const std::string& Ident) {
  TMemIniFile::DeleteKey(Section, Ident);
  UpdateFile();
}
