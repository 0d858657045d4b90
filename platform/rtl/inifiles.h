// Ini files: "[section]" headers and "name=value" lines, read whole into memory.
// Section and key names are compared ignoring ASCII case; bytes are kept as they
// are (UTF-8, no conversion).
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/rtl/classes.h"

// The ini-file operations common to every store.
class TCustomIniFile : public TObject {
  VX_CLASS(TCustomIniFile, TObject)

 public:
  explicit TCustomIniFile(std::string FileName) : fileName_(std::move(FileName)) {}
  const std::string& FileName() const { return fileName_; }

  // The value of the key, or Default when the key is absent (an empty value is a value).
  virtual std::string ReadString(const std::string& Section, const std::string& Ident,
                                 const std::string& Default) const = 0;
  virtual void WriteString(const std::string& Section, const std::string& Ident, const std::string& Value) = 0;
  // Decimal, or hexadecimal after "$" or "0x"; anything else gives Default.
  Integer ReadInteger(const std::string& Section, const std::string& Ident, Integer Default) const;
  void WriteInteger(const std::string& Section, const std::string& Ident, Integer Value);
  // An integer: 0 is false, any other true; anything else gives Default.
  bool ReadBool(const std::string& Section, const std::string& Ident, bool Default) const;
  void WriteBool(const std::string& Section, const std::string& Ident, bool Value);

  // The names of the section's keys, in file order.
  virtual void ReadSection(const std::string& Section, TStrings* Strings) const = 0;
  // The section names, in file order.
  virtual void ReadSections(TStrings* Strings) const = 0;
  // Every line of the section as it was read ("name=value", repeated names kept),
  // in file order.
  virtual void ReadSectionValues(const std::string& Section, TStrings* Strings) const = 0;
  virtual bool SectionExists(const std::string& Section) const = 0;
  virtual bool ValueExists(const std::string& Section, const std::string& Ident) const;
  virtual void EraseSection(const std::string& Section) = 0;
  virtual void DeleteKey(const std::string& Section, const std::string& Ident) = 0;
  virtual void UpdateFile() = 0;

 protected:
  void SetFileName(std::string FileName) { fileName_ = std::move(FileName); }

 private:
  std::string fileName_;
};

// The whole file in memory, read when created; a missing file, or one that is no
// plain file (a pipe, a device), reads as empty, and one that cannot be read raises
// EFOpenError.
// Lines are trimmed; empty lines and lines starting with ";" are skipped; lines
// before the first section are ignored; name and value are trimmed around the
// first "="; a line without "=" stays in its section's lines. Of two sections or
// keys of the same name, the first is the one found. Changes reach the file only
// through UpdateFile, which writes every section followed by an empty line
// (comments are not kept).
class TMemIniFile : public TCustomIniFile {
  VX_CLASS(TMemIniFile, TCustomIniFile)

 public:
  explicit TMemIniFile(const std::string& FileName);
  ~TMemIniFile() override;

  std::string ReadString(const std::string& Section, const std::string& Ident,
                         const std::string& Default) const override;
  void WriteString(const std::string& Section, const std::string& Ident, const std::string& Value) override;
  void ReadSection(const std::string& Section, TStrings* Strings) const override;
  void ReadSections(TStrings* Strings) const override;
  void ReadSectionValues(const std::string& Section, TStrings* Strings) const override;
  bool SectionExists(const std::string& Section) const override;
  bool ValueExists(const std::string& Section, const std::string& Ident) const override;
  void EraseSection(const std::string& Section) override;
  void DeleteKey(const std::string& Section, const std::string& Ident) override;
  void UpdateFile() override;

  void Clear();
  // The whole contents as ini lines, or replaced by the given lines.
  void GetStrings(TStrings* List) const;
  void SetStrings(TStrings* List);
  // Names another file; with Reload its contents replace the current ones.
  void Rename(const std::string& FileName, bool Reload);

 private:
  struct Section {
    std::string name;
    std::unique_ptr<TStringList> lines;
  };
  const Section* Find(const std::string& Name) const;
  Section& AddSection(const std::string& Name);
  void LoadValues();
  void Parse(const std::vector<std::string_view>& Lines);

  std::vector<Section> sections_;
};

// An ini file whose every change is written to the file at once.
class TIniFile : public TMemIniFile {
  VX_CLASS(TIniFile, TMemIniFile)

 public:
  using TMemIniFile::TMemIniFile;
  void WriteString(const std::string& Section, const std::string& Ident, const std::string& Value) override;
  void EraseSection(const std::string& Section) override;
  void DeleteKey(const std::string& Section, const std::string& Ident) override;
};
