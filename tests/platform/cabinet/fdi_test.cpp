// The decompression interface driven directly: notification order and contents,
// cabinet sets, and the error numbers.
#include "platform/cabinet/fdi.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <functional>
#include <map>

#include "tests/support/TempFolder.h"
#include "tests/support/cabinet_fixtures.h"

using namespace cabtest;

namespace {

struct Note {
  FDINOTIFICATIONTYPE type;
  std::string psz1, psz2, psz3;
  LONG cb;
  USHORT date, time, attribs, setID, iCabinet, iFolder;
  FDIERROR fdie;
};

// Handles from this value up are outputs collected in memory.
constexpr INT_PTR kFirstOutput = 1000;

std::vector<Note> g_notes;
std::map<INT_PTR, std::string> g_outputs;
std::map<INT_PTR, bool> g_closed;
std::function<INT_PTR(FDINOTIFICATIONTYPE, FDINOTIFICATION&)> g_answer;
int g_allocsLeft = -1;  // fail allocations once this reaches 0
bool g_failWrites = false;

void* Alloc(ULONG cb) {
  if (g_allocsLeft == 0) return nullptr;
  if (g_allocsLeft > 0) --g_allocsLeft;
  return std::malloc(cb);
}
void Free(void* p) { std::free(p); }
INT_PTR Open(char* name, int oflag, int) {
  int fd = open(name, (oflag & _O_ACCMODE) == _O_RDONLY ? O_RDONLY : O_RDWR);
  return fd < 0 ? -1 : fd;
}
UINT Read(INT_PTR hf, void* pv, UINT cb) {
  ssize_t r = read(int(hf), pv, cb);
  return r < 0 ? UINT(-1) : UINT(r);
}
UINT Write(INT_PTR hf, void* pv, UINT cb) {
  if (hf < kFirstOutput || g_failWrites) return UINT(-1);
  g_outputs[hf].append(static_cast<char*>(pv), cb);
  return cb;
}
int Close(INT_PTR hf) {
  if (hf >= kFirstOutput) {
    g_closed[hf] = true;
    return 0;
  }
  return close(int(hf));
}
int64_t Seek(INT_PTR hf, int64_t dist, int type) { return lseek(int(hf), dist, type); }

INT_PTR Notify(FDINOTIFICATIONTYPE type, PFDINOTIFICATION n) {
  g_notes.push_back({type, n->psz1 ? n->psz1 : "", n->psz2 ? n->psz2 : "", n->psz3 ? n->psz3 : "", n->cb,
                     n->date, n->time, n->attribs, n->setID, n->iCabinet, n->iFolder, n->fdie});
  if (g_answer) return g_answer(type, *n);
  switch (type) {
    case fdintCOPY_FILE: return kFirstOutput + INT_PTR(g_outputs.size());
    case fdintCLOSE_FILE_INFO: {
      Close(n->hf);
      return TRUE;
    }
    case fdintNEXT_CABINET: return n->fdie == FDIERROR_NONE ? 0 : -1;
    default: return 0;
  }
}

class FdiTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Reset();
    hfdi_ = FDICreate(Alloc, Free, Open, Read, Write, Close, Seek, cpuUNKNOWN, &erf_);
    ASSERT_NE(hfdi_, nullptr);
  }
  void TearDown() override { EXPECT_TRUE(FDIDestroy(hfdi_)); }

  // Forgets what earlier copies recorded; the context serves the next copy.
  static void Reset() {
    g_notes.clear();
    g_outputs.clear();
    g_closed.clear();
    g_answer = nullptr;
    g_allocsLeft = -1;
    g_failWrites = false;
  }

  bool Copy(const std::string& path, const std::string& name) {
    std::string p = path + "/", n = name;
    const bool ok = FDICopy(hfdi_, n.data(), p.data(), 0, Notify, nullptr, this);
    return ok;
  }
  std::vector<FDINOTIFICATIONTYPE> Types() const {
    std::vector<FDINOTIFICATIONTYPE> t;
    for (const Note& n : g_notes) t.push_back(n.type);
    return t;
  }
  // The data written for each copied file, in order.
  std::vector<std::string> Outputs() const {
    std::vector<std::string> out;
    for (const auto& [hf, data] : g_outputs) out.push_back(data);
    return out;
  }

  TempFolder dir_;
  ERF erf_;
  HFDI hfdi_ = nullptr;
};

std::vector<Entry> ThreeFiles() {
  Entry a{"a.txt", TestBytes(1000, 1, true)};
  Entry b{"sub\\b.bin", TestBytes(240000, 2, false)};
  b.date = (44 << 9) | (12 << 5) | 31;
  b.time = (23 << 11) | (59 << 5) | 29;
  b.attribs = 0x21 | _A_EXEC;
  Entry c{"c.txt", TestBytes(70000, 3, true)};
  return {a, b, c};
}

TEST_F(FdiTest, SingleCabinetNotifiesInOrderAndWritesEveryFile) {
  const auto entries = ThreeFiles();
  for (uint16_t type : {0, 1}) {
    SCOPED_TRACE(type);
    Reset();
    WriteCabinetSet(dir_.Path(), {"one.cab"}, entries, {.typeCompress = type});
    ASSERT_TRUE(Copy(dir_.Path(), "one.cab"));
    EXPECT_EQ(Types(), (std::vector<FDINOTIFICATIONTYPE>{fdintCABINET_INFO, fdintCOPY_FILE, fdintCLOSE_FILE_INFO,
                                                         fdintCOPY_FILE, fdintCLOSE_FILE_INFO, fdintCOPY_FILE,
                                                         fdintCLOSE_FILE_INFO}));
    EXPECT_EQ(g_notes[0].psz1, "");
    EXPECT_EQ(g_notes[0].psz3, dir_.Path() + "/");
    EXPECT_EQ(g_notes[0].setID, 0x2468);
    const Note& copyB = g_notes[3];
    EXPECT_EQ(copyB.psz1, "sub\\b.bin");
    EXPECT_EQ(copyB.cb, 240000);
    EXPECT_EQ(copyB.date, entries[1].date);
    EXPECT_EQ(copyB.time, entries[1].time);
    EXPECT_EQ(copyB.attribs, entries[1].attribs);
    // Closing reports the run-after-extract bit apart from the attributes.
    const Note& closeB = g_notes[4];
    EXPECT_EQ(closeB.cb, 1);
    EXPECT_EQ(closeB.attribs, 0x21);
    EXPECT_EQ(g_notes[2].cb, 0);
    EXPECT_EQ(Outputs(), (std::vector<std::string>{entries[0].data, entries[1].data, entries[2].data}));
  }
}

TEST_F(FdiTest, SkippedFilesAreNotWrittenAndLaterOnesStillAre) {
  const auto entries = ThreeFiles();
  WriteCabinetSet(dir_.Path(), {"one.cab"}, entries, {.typeCompress = 1});
  int copies = 0;
  g_answer = [&](FDINOTIFICATIONTYPE type, FDINOTIFICATION& n) -> INT_PTR {
    if (type == fdintCOPY_FILE) return ++copies == 2 ? kFirstOutput + 1 : 0;
    if (type == fdintCLOSE_FILE_INFO) return TRUE;
    return 0;
  };
  ASSERT_TRUE(Copy(dir_.Path(), "one.cab"));
  EXPECT_EQ(Outputs(), std::vector<std::string>{entries[1].data});
}

TEST_F(FdiTest, IsCabinetReadsTheHeader) {
  WriteCabinetSet(dir_.Path(), {"s1.cab", "s2.cab", "s3.cab"}, ThreeFiles(), {.blocksPerCabinet = 3});
  int fd = open((dir_ / "s2.cab").c_str(), O_RDONLY);
  FDICABINETINFO info;
  ASSERT_TRUE(FDIIsCabinet(hfdi_, fd, &info));
  close(fd);
  EXPECT_EQ(info.cbCabinet, LONG(ReadFileBytes(dir_ / "s2.cab").size()));
  EXPECT_EQ(info.cFolders, 1);
  EXPECT_EQ(info.cFiles, 2);  // the files not complete before it
  EXPECT_EQ(info.setID, 0x2468);
  EXPECT_EQ(info.iCabinet, 1);
  EXPECT_TRUE(info.hasprev);
  EXPECT_TRUE(info.hasnext);
  EXPECT_FALSE(info.fReserve);

  WriteFile(dir_ / "text.cab", "Not a cabinet at all");
  fd = open((dir_ / "text.cab").c_str(), O_RDONLY);
  EXPECT_FALSE(FDIIsCabinet(hfdi_, fd, &info));
  close(fd);
  EXPECT_FALSE(erf_.fError);
}

// Three cabinets holding one folder; the large file b spans all three, c the
// last two.
TEST_F(FdiTest, FileSpanningASetAsksForEachNextCabinet) {
  const auto entries = ThreeFiles();
  WriteCabinetSet(dir_.Path(), {"s1.cab", "s2.cab", "s3.cab"}, entries, {.typeCompress = 1, .blocksPerCabinet = 3});
  ASSERT_TRUE(Copy(dir_.Path(), "s1.cab"));
  EXPECT_EQ(Types(), (std::vector<FDINOTIFICATIONTYPE>{fdintCABINET_INFO, fdintCOPY_FILE, fdintCLOSE_FILE_INFO,
                                                       fdintCOPY_FILE, fdintNEXT_CABINET, fdintCABINET_INFO,
                                                       fdintNEXT_CABINET, fdintCABINET_INFO, fdintCLOSE_FILE_INFO,
                                                       fdintCOPY_FILE, fdintCLOSE_FILE_INFO}));
  EXPECT_EQ(g_notes[0].psz1, "s2.cab");
  EXPECT_EQ(g_notes[0].psz2, "DISK2");
  EXPECT_EQ(g_notes[3].iFolder, ifoldCONTINUED_TO_NEXT);
  EXPECT_EQ(g_notes[4].psz1, "s2.cab");
  EXPECT_EQ(g_notes[4].psz3, dir_.Path() + "/");
  EXPECT_EQ(g_notes[4].fdie, FDIERROR_NONE);
  EXPECT_EQ(g_notes[5].iCabinet, 1);
  EXPECT_EQ(g_notes[6].psz1, "s3.cab");
  EXPECT_EQ(g_notes[7].iCabinet, 2);
  EXPECT_EQ(g_notes[9].iFolder, ifoldCONTINUED_TO_NEXT);
  EXPECT_EQ(Outputs(), (std::vector<std::string>{entries[0].data, entries[1].data, entries[2].data}));

  // The last cabinet on its own: what it holds was copied from the first.
  Reset();
  ASSERT_TRUE(Copy(dir_.Path(), "s3.cab"));
  EXPECT_EQ(Types(), (std::vector<FDINOTIFICATIONTYPE>{fdintCABINET_INFO, fdintPARTIAL_FILE, fdintPARTIAL_FILE}));
  EXPECT_EQ(g_notes[1].psz1, "sub\\b.bin");
  EXPECT_EQ(g_notes[1].psz2, "s2.cab");
  EXPECT_EQ(g_notes[1].psz3, "DISK2");
  EXPECT_TRUE(g_outputs.empty());
}

TEST_F(FdiTest, NextCabinetPathBufferCanPointElsewhere) {
  const auto entries = ThreeFiles();
  WriteCabinetSet(dir_.Path(), {"s1.cab", "s2.cab", "s3.cab"}, entries, {.blocksPerCabinet = 3});
  mkdir((dir_ / "other").c_str(), 0700);
  rename((dir_ / "s2.cab").c_str(), (dir_ / "other/s2.cab").c_str());
  rename((dir_ / "s3.cab").c_str(), (dir_ / "other/s3.cab").c_str());
  std::vector<FDIERROR> asked;
  g_answer = [&](FDINOTIFICATIONTYPE type, FDINOTIFICATION& n) -> INT_PTR {
    if (type == fdintCOPY_FILE) return kFirstOutput + INT_PTR(g_outputs.size());
    if (type == fdintCLOSE_FILE_INFO) return TRUE;
    if (type == fdintNEXT_CABINET) {
      asked.push_back(n.fdie);
      // First answer with the old folder, then with the right one.
      if (n.fdie != FDIERROR_NONE) std::snprintf(n.psz3, CB_MAX_CAB_PATH, "%s/other/", dir_.Path().c_str());
    }
    return 0;
  };
  ASSERT_TRUE(Copy(dir_.Path(), "s1.cab"));
  EXPECT_EQ(asked, (std::vector<FDIERROR>{FDIERROR_NONE, FDIERROR_CABINET_NOT_FOUND, FDIERROR_NONE}));
  EXPECT_EQ(Outputs(), (std::vector<std::string>{entries[0].data, entries[1].data, entries[2].data}));
}

TEST_F(FdiTest, MissingOrWrongNextCabinet) {
  const auto entries = ThreeFiles();
  WriteCabinetSet(dir_.Path(), {"s1.cab", "s2.cab", "s3.cab"}, entries, {.blocksPerCabinet = 3});
  unlink((dir_ / "s2.cab").c_str());
  EXPECT_FALSE(Copy(dir_.Path(), "s1.cab"));
  EXPECT_EQ(erf_.erfOper, FDIERROR_CABINET_NOT_FOUND);
  EXPECT_TRUE(erf_.fError);
  // The unfinished output was closed.
  EXPECT_TRUE(g_closed[kFirstOutput + 1]);

  // Another set's cabinet under the expected name.
  Reset();
  WriteCabinetSet(dir_.Path(), {"x1.cab", "s2.cab", "x3.cab"}, entries, {.blocksPerCabinet = 3, .setID = 7});
  EXPECT_FALSE(Copy(dir_.Path(), "s1.cab"));
  EXPECT_EQ(erf_.erfOper, FDIERROR_WRONG_CABINET);
}

std::string Patched(std::string s, size_t at, char value) {
  s.at(at) = value;
  return s;
}

TEST_F(FdiTest, ErrorNumbers) {
  const auto entries = ThreeFiles();
  WriteCabinetSet(dir_.Path(), {"plain.cab"}, entries, {.typeCompress = 1});
  const std::string good = ReadFileBytes(dir_ / "plain.cab");
  // The first data block starts after the header, the folder and the file table.
  const size_t firstData = good.find("CK") - 8;
  WriteCabinetSet(dir_.Path(), {"nosum.cab"}, entries, {.typeCompress = 1, .checksums = false});
  const std::string nosum = ReadFileBytes(dir_ / "nosum.cab");
  // The folder record's compression type sits right before the file table.
  const size_t filesAt = size_t(uint8_t(good[16])) | size_t(uint8_t(good[17])) << 8;

  struct Case {
    const char* what;
    std::string bytes;  // empty: no such file
    FDIERROR expected;
  } cases[] = {
      {"missing", "", FDIERROR_CABINET_NOT_FOUND},
      {"signature", Patched(good, 0, 'X'), FDIERROR_NOT_A_CABINET},
      {"empty file", std::string(" "), FDIERROR_NOT_A_CABINET},
      {"version", Patched(good, 25, 2), FDIERROR_UNKNOWN_CABINET_VERSION},
      {"truncated header", good.substr(0, 50), FDIERROR_CORRUPT_CABINET},
      {"truncated data", good.substr(0, good.size() - 100), FDIERROR_CORRUPT_CABINET},
      {"checksum", Patched(good, firstData + 20, char(good[firstData + 20] ^ 0x55)), FDIERROR_CORRUPT_CABINET},
      {"compression type", Patched(good, filesAt - 2, 9), FDIERROR_BAD_COMPR_TYPE},
      {"deflate data", Patched(nosum, nosum.find("CK") + 2, char(0xFF)), FDIERROR_MDI_FAIL},
  };

  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Reset();
    if (!c.bytes.empty()) WriteFile(dir_ / "t.cab", c.bytes);
    else unlink((dir_ / "t.cab").c_str());
    EXPECT_FALSE(Copy(dir_.Path(), "t.cab"));
    EXPECT_EQ(erf_.erfOper, c.expected);
    EXPECT_TRUE(erf_.fError);
  }
}

TEST_F(FdiTest, CallbackFailuresAndAborts) {
  WriteCabinetSet(dir_.Path(), {"t.cab"}, ThreeFiles(), {.typeCompress = 1});
  g_failWrites = true;
  EXPECT_FALSE(Copy(dir_.Path(), "t.cab"));
  EXPECT_EQ(erf_.erfOper, FDIERROR_TARGET_FILE);

  g_failWrites = false;
  for (FDINOTIFICATIONTYPE abortAt : {fdintCABINET_INFO, fdintCOPY_FILE, fdintCLOSE_FILE_INFO}) {
    g_answer = [&](FDINOTIFICATIONTYPE type, FDINOTIFICATION& n) -> INT_PTR {
      if (type == abortAt) return -1;
      if (type == fdintCOPY_FILE) return kFirstOutput;
      return type == fdintCLOSE_FILE_INFO ? TRUE : 0;
    };
    EXPECT_FALSE(Copy(dir_.Path(), "t.cab"));
    EXPECT_EQ(erf_.erfOper, FDIERROR_USER_ABORT);
  }

  // Memory runs out while the cabinet is read.
  g_answer = nullptr;
  g_allocsLeft = 2;
  EXPECT_FALSE(Copy(dir_.Path(), "t.cab"));
  EXPECT_EQ(erf_.erfOper, FDIERROR_ALLOC_FAIL);
  g_allocsLeft = -1;
  EXPECT_TRUE(Copy(dir_.Path(), "t.cab"));
  EXPECT_FALSE(erf_.fError);
}

}  // namespace
