#include "platform/cx/cxxlsexport.h"

#include <gsf/gsf-outfile-msole.h>
#include <gsf/gsf-output-memory.h>
#include <gsf/gsf-utils.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <unistd.h>
#include <unordered_map>

#include "platform/rtl/sysutils.h"

namespace {

// Record types of the workbook stream.
constexpr uint16_t rtBOF = 0x0809, rtEOF = 0x000A, rtCodePage = 0x0042, rtWindow1 = 0x003D, rtFont = 0x0031,
                   rtXF = 0x00E0, rtStyle = 0x0293, rtBoundSheet = 0x0085, rtSST = 0x00FC, rtExtSST = 0x00FF,
                   rtContinue = 0x003C, rtDimensions = 0x0200, rtColInfo = 0x007D, rtWindow2 = 0x023E,
                   rtNumber = 0x0203, rtLabelSST = 0x00FD, rtBoolErr = 0x0205;
constexpr size_t kMaxRecordData = 8224;
// Cells use the first cell format, after the fifteen style formats.
constexpr uint16_t kCellXF = 15;

class Bytes {
 public:
  explicit Bytes(std::vector<uint8_t>& Out) : out_(Out) {}
  void U8(uint8_t v) { out_.push_back(v); }
  void U16(uint16_t v) {
    out_.push_back(uint8_t(v));
    out_.push_back(uint8_t(v >> 8));
  }
  void U32(uint32_t v) {
    U16(uint16_t(v));
    U16(uint16_t(v >> 16));
  }
  void F64(double v) {
    uint64_t bits;
    std::memcpy(&bits, &v, 8);
    U32(uint32_t(bits));
    U32(uint32_t(bits >> 32));
  }
  void Raw(const void* p, size_t n) { out_.insert(out_.end(), static_cast<const uint8_t*>(p), static_cast<const uint8_t*>(p) + n); }
  size_t Size() const { return out_.size(); }
  // A record: its type, its length (patched by End) and what follows.
  size_t Begin(uint16_t Type) {
    U16(Type);
    U16(0);
    return out_.size();
  }
  void End(size_t DataStart) {
    const size_t n = out_.size() - DataStart;
    out_[DataStart - 2] = uint8_t(n);
    out_[DataStart - 1] = uint8_t(n >> 8);
  }
  void PatchU32(size_t At, uint32_t v) {
    for (int i = 0; i < 4; ++i) out_[At + size_t(i)] = uint8_t(v >> (8 * i));
  }

 private:
  std::vector<uint8_t>& out_;
};

// A text as the workbook keeps it: its UTF-16 length and either one byte per
// character (all below 256) or UTF-16LE.
struct XlsString {
  uint16_t chars = 0;
  bool wide = false;
  std::string bytes;
};

XlsString Encode(std::string_view Utf8) {
  XlsString s;
  const bool ascii = std::all_of(Utf8.begin(), Utf8.end(), [](char c) { return uint8_t(c) < 0x80; });
  if (ascii) {
    s.bytes.assign(Utf8.substr(0, TcxXLSWriter::MaxTextLength));
    s.chars = uint16_t(s.bytes.size());
    return s;
  }
  std::u32string cps = Utf8ToCodePoints(Utf8);
  std::u16string units;
  for (char32_t c : cps) {
    if (c > 0xFFFF) {
      if (units.size() + 2 > size_t(TcxXLSWriter::MaxTextLength)) break;
      c -= 0x10000;
      units.push_back(char16_t(0xD800 + (c >> 10)));
      units.push_back(char16_t(0xDC00 + (c & 0x3FF)));
    } else {
      if (units.size() + 1 > size_t(TcxXLSWriter::MaxTextLength)) break;
      units.push_back(char16_t(c));
    }
  }
  s.chars = uint16_t(units.size());
  s.wide = std::any_of(units.begin(), units.end(), [](char16_t u) { return u > 0xFF; });
  for (char16_t u : units) {
    s.bytes.push_back(char(u & 0xFF));
    if (s.wide) s.bytes.push_back(char(u >> 8));
  }
  return s;
}

// A short name as BOUNDSHEET and FONT records carry it (length byte, flags byte).
void ShortString(Bytes& B, const std::string& Utf8) {
  XlsString s = Encode(Utf8);
  B.U8(uint8_t(std::min<int>(s.chars, 255)));
  B.U8(s.wide ? 1 : 0);
  B.Raw(s.bytes.data(), std::min(s.bytes.size(), size_t(255) * (s.wide ? 2 : 1)));
}

void EnsureGsf() {
  static std::once_flag once;
  std::call_once(once, [] { gsf_init(); });
}

}  // namespace

struct TcxXLSWriter::Impl {
  struct Sheet {
    std::string name;
    std::vector<uint8_t> cells;
    std::vector<std::pair<int, int>> widths;
    int lastRow = 0, maxRow = -1, maxCol = -1;
  };
  std::vector<Sheet> sheets;
  std::vector<XlsString> strings;
  std::unordered_map<std::string, uint32_t> stringIndex;
  uint32_t stringUses = 0;

  Sheet& Current() {
    if (sheets.empty()) sheets.push_back(Sheet{"Sheet1", {}, {}, 0, -1, -1});
    return sheets.back();
  }
  // Starts a cell record after checking its place.
  size_t Cell(Bytes& B, uint16_t Type, int Row, int Column) {
    Sheet& s = Current();
    if (Row < 0 || Row >= MaxRows || Column < 0 || Column >= MaxColumns)
      throw EcxExportError("Cell (" + std::to_string(Row) + ", " + std::to_string(Column) +
                           ") lies outside a worksheet");
    if (Row < s.lastRow) throw EcxExportError("Rows must be written in order");
    s.lastRow = Row;
    s.maxRow = std::max(s.maxRow, Row);
    s.maxCol = std::max(s.maxCol, Column);
    const size_t start = B.Begin(Type);
    B.U16(uint16_t(Row));
    B.U16(uint16_t(Column));
    B.U16(kCellXF);
    return start;
  }
  void Globals(Bytes& B, std::vector<size_t>& SheetOffsets) const;
  void SharedStrings(Bytes& B) const;
  void SheetStream(Bytes& B, const Sheet& S, bool First) const;
};

TcxXLSWriter::TcxXLSWriter() : impl_(std::make_unique<Impl>()) {}
TcxXLSWriter::~TcxXLSWriter() = default;

void TcxXLSWriter::AddSheet(const std::string& Name) {
  std::string name = Name.empty() ? "Sheet" + std::to_string(impl_->sheets.size() + 1) : Name;
  // At most 31 characters, cut at a character boundary.
  auto cps = Utf8ToCodePoints(name);
  if (cps.size() > 31) {
    name.clear();
    for (size_t i = 0; i < 31; ++i) name += CodePointToUtf8(cps[i]);
  }
  impl_->sheets.push_back(Impl::Sheet{name, {}, {}, 0, -1, -1});
}

int TcxXLSWriter::SheetCount() const { return int(impl_->sheets.size()); }

void TcxXLSWriter::SetColumnWidth(int Column, int Pixels) {
  if (Column < 0 || Column >= MaxColumns) return;
  impl_->Current().widths.emplace_back(Column, std::max(0, Pixels));
}

void TcxXLSWriter::WriteNumber(int Row, int Column, double Value) {
  Bytes b(impl_->Current().cells);
  const size_t start = impl_->Cell(b, rtNumber, Row, Column);
  b.F64(Value);
  b.End(start);
}

void TcxXLSWriter::WriteBoolean(int Row, int Column, bool Value) {
  Bytes b(impl_->Current().cells);
  const size_t start = impl_->Cell(b, rtBoolErr, Row, Column);
  b.U8(Value ? 1 : 0);
  b.U8(0);  // a Boolean, not an error code
  b.End(start);
}

void TcxXLSWriter::WriteText(int Row, int Column, std::string_view Utf8) {
  auto [it, added] = impl_->stringIndex.try_emplace(std::string(Utf8), uint32_t(impl_->strings.size()));
  if (added) impl_->strings.push_back(Encode(Utf8));
  ++impl_->stringUses;
  Bytes b(impl_->Current().cells);
  const size_t start = impl_->Cell(b, rtLabelSST, Row, Column);
  b.U32(it->second);
  b.End(start);
}

void TcxXLSWriter::Impl::Globals(Bytes& B, std::vector<size_t>& SheetOffsets) const {
  size_t r = B.Begin(rtBOF);
  B.U16(0x0600);  // BIFF8
  B.U16(0x0005);  // workbook globals
  B.U16(0x0DBB);
  B.U16(0x07CC);
  B.U32(0);
  B.U32(0x06);
  B.End(r);
  r = B.Begin(rtCodePage);
  B.U16(1200);  // texts are Unicode
  B.End(r);
  r = B.Begin(rtWindow1);
  for (uint16_t v : {0, 0, 0x4000, 0x2000, 0x0038, 0, 0, 1, 0x0258}) B.U16(v);
  B.End(r);
  for (int i = 0; i < 4; ++i) {
    r = B.Begin(rtFont);
    B.U16(200);  // 10 points
    B.U16(0);
    B.U16(0x7FFF);
    B.U16(400);
    B.U16(0);
    B.U8(0);
    B.U8(0);
    B.U8(0);
    B.U8(0);
    ShortString(B, "Arial");
    B.End(r);
  }
  // Fifteen style formats, then the one the cells use.
  for (int i = 0; i < 16; ++i) {
    r = B.Begin(rtXF);
    B.U16(0);                         // font
    B.U16(0);                         // number format: General
    B.U16(i < 15 ? 0xFFF5 : 0x0001);  // style format / locked cell format of style 0
    B.U8(0x20);                       // bottom aligned
    B.U8(0);
    B.U8(0);
    B.U8(i < 15 ? 0xF4 : 0x00);
    B.U32(0);
    B.U32(0);
    B.U16(0x20C0);  // pattern colours
    B.End(r);
  }
  r = B.Begin(rtStyle);
  B.U16(0x8000);  // built-in "Normal" on format 0
  B.U8(0);
  B.U8(0xFF);
  B.End(r);
  for (const Sheet& s : sheets) {
    r = B.Begin(rtBoundSheet);
    SheetOffsets.push_back(B.Size());
    B.U32(0);  // patched once the sheet's place is known
    B.U16(0);  // visible worksheet
    ShortString(B, s.name);
    B.End(r);
  }
  SharedStrings(B);
  r = B.Begin(rtEOF);
  B.End(r);
}

void TcxXLSWriter::Impl::SharedStrings(Bytes& B) const {
  // The table runs on in CONTINUE records; a text split between records starts its
  // rest with its flags byte.
  size_t start = B.Begin(rtSST);
  size_t recordHeader = start - 4;
  auto room = [&] { return kMaxRecordData - (B.Size() - start); };
  auto next = [&] {
    B.End(start);
    start = B.Begin(rtContinue);
    recordHeader = start - 4;
  };
  B.U32(stringUses);
  B.U32(uint32_t(strings.size()));
  const size_t perBucket = std::max<size_t>(8, strings.size() / 128 + 1);
  std::vector<std::pair<uint32_t, uint16_t>> buckets;
  for (size_t i = 0; i < strings.size(); ++i) {
    const XlsString& s = strings[i];
    const size_t width = s.wide ? 2 : 1;
    if (room() < 3 + (s.chars ? width : 0)) next();
    if (i % perBucket == 0) buckets.emplace_back(uint32_t(B.Size()), uint16_t(B.Size() - recordHeader));
    B.U16(s.chars);
    B.U8(s.wide ? 1 : 0);
    size_t done = 0;
    while (done < s.chars) {
      size_t n = std::min<size_t>(s.chars - done, room() / width);
      if (n == 0) {
        next();
        B.U8(s.wide ? 1 : 0);
        continue;
      }
      B.Raw(s.bytes.data() + done * width, n * width);
      done += n;
    }
  }
  B.End(start);
  const size_t r = B.Begin(rtExtSST);
  B.U16(uint16_t(perBucket));
  for (auto [pos, offset] : buckets) {
    B.U32(pos);
    B.U16(offset);
    B.U16(0);
  }
  B.End(r);
}

void TcxXLSWriter::Impl::SheetStream(Bytes& B, const Sheet& S, bool First) const {
  size_t r = B.Begin(rtBOF);
  B.U16(0x0600);
  B.U16(0x0010);  // worksheet
  B.U16(0x0DBB);
  B.U16(0x07CC);
  B.U32(0);
  B.U32(0x06);
  B.End(r);
  r = B.Begin(rtDimensions);
  B.U32(0);
  B.U32(uint32_t(S.maxRow + 1));
  B.U16(0);
  B.U16(uint16_t(S.maxCol + 1));
  B.U16(0);
  B.End(r);
  for (auto [column, pixels] : S.widths) {
    r = B.Begin(rtColInfo);
    B.U16(uint16_t(column));
    B.U16(uint16_t(column));
    B.U16(uint16_t(std::min(255 * 256, pixels * 256 / 7)));  // in 1/256 of a digit's width
    B.U16(kCellXF);
    B.U16(0);
    B.U16(0);
    B.End(r);
  }
  r = B.Begin(rtWindow2);
  B.U16(First ? 0x06B6 : 0x00B6);  // grid lines, headings, zeros; the first sheet selected and shown
  B.U16(0);
  B.U16(0);
  B.U32(64);
  B.U16(0);
  B.U16(0);
  B.U32(0);
  B.End(r);
  B.Raw(S.cells.data(), S.cells.size());
  r = B.Begin(rtEOF);
  B.End(r);
}

std::vector<uint8_t> TcxXLSWriter::SaveToBytes() const {
  if (impl_->sheets.empty()) impl_->Current();
  std::vector<uint8_t> stream;
  Bytes b(stream);
  std::vector<size_t> offsets;
  impl_->Globals(b, offsets);
  for (size_t i = 0; i < impl_->sheets.size(); ++i) {
    b.PatchU32(offsets[i], uint32_t(b.Size()));
    impl_->SheetStream(b, impl_->sheets[i], i == 0);
  }
  // Streams under 4096 bytes would go to the compound file's mini stream, which some
  // readers of workbooks do not expect: pad after the last record.
  if (stream.size() < 4096) stream.resize(4096, 0);

  EnsureGsf();
  GsfOutput* memory = gsf_output_memory_new();
  GsfOutfile* ole = gsf_outfile_msole_new(memory);
  GsfOutput* workbook = gsf_outfile_new_child(ole, "Workbook", FALSE);
  const bool written = workbook && gsf_output_write(workbook, stream.size(), stream.data());
  if (workbook) {
    gsf_output_close(workbook);
    g_object_unref(workbook);
  }
  gsf_output_close(GSF_OUTPUT(ole));
  g_object_unref(ole);
  std::vector<uint8_t> file;
  if (written) {
    const guint8* bytes = gsf_output_memory_get_bytes(GSF_OUTPUT_MEMORY(memory));
    file.assign(bytes, bytes + gsf_output_size(memory));
  }
  g_object_unref(memory);  // closed with the compound file
  if (!written || file.empty()) throw EcxExportError("The workbook could not be assembled");
  return file;
}

void TcxXLSWriter::SaveToFile(const std::string& FileName) const {
  const std::vector<uint8_t> bytes = SaveToBytes();
  const std::string target = NativePath(FileName);
  auto fail = [&](int error) {
    throw EcxExportError("Cannot create file \"" + FileName + "\". " + std::strerror(error));
  };
  // A new file beside the target (permissions as any new file's), renamed over it once
  // whole.
  const size_t slash = target.rfind('/');
  const std::string folder = slash == std::string::npos ? std::string() : target.substr(0, slash + 1);
  static std::atomic<unsigned> counter{0};
  std::string temp;
  int fd = -1;
  for (int attempt = 0; fd < 0 && attempt < 100; ++attempt) {
    temp = folder + ".xls-" + std::to_string(::getpid()) + "-" + std::to_string(counter++);
    fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0 && errno != EEXIST) fail(errno);
  }
  if (fd < 0) fail(EEXIST);
  size_t done = 0;
  int error = 0;
  while (done < bytes.size() && !error) {
    const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno != EINTR) error = errno;
    if (n > 0) done += size_t(n);
  }
  if (::close(fd) != 0 && !error) error = errno;
  if (!error && ::rename(temp.c_str(), target.c_str()) != 0) error = errno;
  if (error) {
    ::unlink(temp.c_str());
    fail(error);
  }
}
