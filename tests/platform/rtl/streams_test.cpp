#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstring>
#include <filesystem>

#include "platform/rtl/classes.h"
#include "platform/rtl/sysutils.h"
#include "tests/support/TempFolder.h"

namespace {

namespace fs = std::filesystem;

std::string ReadAll(TStream& s) {
  std::string out(static_cast<size_t>(s.Size() - s.Position()), '\0');
  s.ReadBuffer(out.data(), static_cast<int64_t>(out.size()));
  return out;
}

TEST(MemoryStream, PositionsPastTheEndAndResizing) {
  TMemoryStream m;
  m.WriteBuffer("abc", 3);
  EXPECT_EQ(m.Position(), 3);
  EXPECT_EQ(m.Seek(10, soFromBeginning), 10);
  char buf[4] = {};
  EXPECT_EQ(m.Read(buf, 4), 0);  // reading past the end gives nothing, raises nothing
  EXPECT_EQ(m.Size(), 3);
  m.WriteBuffer("Z", 1);  // writing there fills the gap with zeros
  ASSERT_EQ(m.Size(), 11);
  EXPECT_EQ(std::string(static_cast<const char*>(m.Memory()), 11), std::string("abc\0\0\0\0\0\0\0Z", 11));
  EXPECT_EQ(m.Seek(-2, soFromEnd), 9);
  EXPECT_EQ(m.Seek(1, soFromCurrent), 10);
  m.SetSize(2);  // the position follows a shrinking size
  EXPECT_EQ(m.Position(), 2);
  m.SetPosition(0);
  EXPECT_EQ(ReadAll(m), "ab");
  EXPECT_THROW(m.ReadBuffer(buf, 1), EReadError);
  m.SetPosition(-5);
  EXPECT_EQ(m.Read(buf, 1), 0);
  EXPECT_EQ(m.Write("x", 1), 0);
  EXPECT_THROW(m.WriteBuffer("x", 1), EWriteError);
  EXPECT_THROW(m.SetSize(int64_t{1} << 62), EOutOfMemory);
  m.Clear();
  EXPECT_EQ(m.Size(), 0);
  EXPECT_EQ(m.Position(), 0);
}

TEST(MemoryStream, CopyLoadAndSave) {
  TempFolder t;
  TMemoryStream src;
  std::string data(200000, '\0');
  for (size_t i = 0; i < data.size(); ++i) data[i] = char(i * 7);
  src.WriteBuffer(data.data(), int64_t(data.size()));
  TMemoryStream dst;
  EXPECT_EQ(dst.CopyFrom(&src, 0), int64_t(data.size()));  // 0: all of it, from the start
  dst.SetPosition(0);
  EXPECT_EQ(ReadAll(dst), data);
  src.SetPosition(10);
  TMemoryStream part;
  EXPECT_EQ(part.CopyFrom(&src, 5), 5);
  EXPECT_EQ(std::memcmp(part.Memory(), data.data() + 10, 5), 0);
  EXPECT_THROW(part.CopyFrom(&src, int64_t(data.size())), EReadError);  // fewer bytes than asked

  dst.SaveToFile(t / "Blob.bin");
  TMemoryStream back;
  back.LoadFromFile(t / "BLOB.BIN");
  EXPECT_EQ(back.Size(), int64_t(data.size()));
  EXPECT_EQ(back.Position(), 0);
  EXPECT_EQ(std::memcmp(back.Memory(), data.data(), data.size()), 0);
}

TEST(FileStream, ModesAndErrorTexts) {
  TempFolder t;
  {
    TFileStream f(t / "Data.txt", fmCreate);
    f.WriteBuffer("hello world", 11);
  }
  {
    TFileStream f(t.Path() + "\\DATA.TXT", fmOpenRead | fmShareDenyWrite);
    EXPECT_EQ(f.Size(), 11);
    EXPECT_EQ(ReadAll(f), "hello world");
    EXPECT_THROW(f.WriteBuffer("x", 1), EWriteError);  // opened for reading only
  }
  {
    TFileStream f(t / "data.txt", fmOpenReadWrite | fmShareExclusive);
    EXPECT_EQ(f.Seek(0, soFromEnd), 11);
    f.WriteBuffer("!", 1);
    f.SetSize(5);  // truncates
    EXPECT_EQ(f.Size(), 5);
  }
  {
    TFileStream f(t / "Data.txt", fmCreate);  // empties an existing file
    EXPECT_EQ(f.Size(), 0);
  }
  try {
    TFileStream f(t / "missing.txt", fmOpenRead);
    FAIL();
  } catch (const EFOpenError& e) {
    EXPECT_EQ(e.Message(), "Cannot open file \"" + t / "missing.txt" + "\". No such file or directory");
  }
  EXPECT_THROW(TFileStream(t.Path(), fmOpenRead), EFOpenError);  // a folder is not a file
  try {
    TFileStream f(t / "no/such/dir/x.txt", fmCreate);
    FAIL();
  } catch (const EFCreateError& e) {
    EXPECT_EQ(e.ClassName(), "EFCreateError");
    EXPECT_TRUE(e.InheritsFrom(EStreamError::StaticClass()));
  }
}

TEST(FileStream, SparseFileBeyondFourGiB) {
  TempFolder t;
  const int64_t far = (int64_t{5} << 30) + 123;  // past 4 GiB, so 32-bit positions would wrap
  {
    TFileStream f(t / "big.bin", fmCreate);
    EXPECT_EQ(f.Seek(far, soFromBeginning), far);
    f.WriteBuffer("tail", 4);
    EXPECT_EQ(f.Position(), far + 4);
    EXPECT_EQ(f.Size(), far + 4);
  }
  struct stat st;
  ASSERT_EQ(stat((t / "big.bin").c_str(), &st), 0);
  EXPECT_EQ(st.st_size, far + 4);
  {
    TFileStream f(t / "big.bin", fmOpenReadWrite);
    EXPECT_EQ(f.Seek(-4, soFromEnd), far);
    char buf[4];
    f.ReadBuffer(buf, 4);
    EXPECT_EQ(std::string(buf, 4), "tail");
    f.SetPosition(far - 2);
    char zeros[2] = {1, 1};
    f.ReadBuffer(zeros, 2);  // the hole reads as zeros
    EXPECT_EQ(zeros[0] | zeros[1], 0);
    f.SetSize(int64_t{6} << 30);
    EXPECT_EQ(f.Size(), int64_t{6} << 30);
    EXPECT_EQ(f.Position(), int64_t{6} << 30);
    f.SetSize(int64_t{1} << 32);
    EXPECT_EQ(f.Size(), int64_t{1} << 32);
  }
  TMemoryStream m;
  TFileStream f(t / "big.bin", fmOpenRead);
  f.SetPosition((int64_t{1} << 32) - 3);
  EXPECT_EQ(m.CopyFrom(&f, 3), 3);
  EXPECT_THROW(m.CopyFrom(&f, 1), EReadError);
}

}  // namespace
