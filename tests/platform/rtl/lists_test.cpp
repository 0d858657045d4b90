#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <random>
#include <thread>

#include "platform/rtl/classes.h"
#include "platform/rtl/sysutils.h"
#include "tests/support/TempFolder.h"

namespace {

namespace fs = std::filesystem;

std::vector<std::string> Lines(const TStrings& s) {
  std::vector<std::string> out;
  for (int i = 0; i < s.Count(); ++i) out.push_back(s[i]);
  return out;
}

using V = std::vector<std::string>;

// ---- Names and values ----

TEST(StringList, ValuesIgnoreCaseAndAnEmptyValueDeletesTheLine) {
  TStringList l;
  l.SetText("Mode=1\nplain line\nPath=C:\\x=y\n=nameless\nmode=second");
  EXPECT_EQ(l.Values("MODE"), "1");  // the first line of that name wins
  EXPECT_EQ(l.Values("path"), "C:\\x=y");  // split at the first "="
  EXPECT_EQ(l.Values("plain line"), "");  // a line without "=" has no name
  EXPECT_EQ(l.Values(""), "nameless");
  EXPECT_EQ(l.Names(1), "");
  EXPECT_EQ(l.ValueFromIndex(1), "");  // not the line minus its first character
  EXPECT_EQ(l.IndexOfName("MoDe"), 0);
  EXPECT_EQ(l.IndexOf("PLAIN LINE"), 1);

  l.SetValues("mode", "");  // deletes the first Mode line only
  EXPECT_EQ(Lines(l), (V{"plain line", "Path=C:\\x=y", "=nameless", "mode=second"}));
  l.SetValues("MODE", "3");  // the given name's case is written
  EXPECT_EQ(l[3], "MODE=3");
  l.SetValues("New", "v");
  EXPECT_EQ(l[4], "New=v");
  l.SetValues("absent", "");  // nothing to delete
  EXPECT_EQ(l.Count(), 5);
  l.SetValueFromIndex(0, "x");
  EXPECT_EQ(l[0], "=x");
  l.SetValueFromIndex(4, "");
  EXPECT_EQ(l.Count(), 4);

  l.SetNameValueSeparator(':');
  l.Add("ext:RUNTO");
  EXPECT_EQ(l.Values("EXT"), "RUNTO");
  EXPECT_EQ(l.Values("Path"), "");
}

// The lookup index of long lists must answer exactly as a plain scan does, whatever
// the edits; checked against a scan after every random edit.
TEST(StringList, LookupsOnLongListsStayExactThroughEdits) {
  std::mt19937 rng(12345);
  TStringList l;
  auto randomName = [&] { return "Key" + std::to_string(rng() % 60); };
  auto randomLine = [&] {
    switch (rng() % 4) {
      case 0: return randomName();
      case 1: return UpperCase(randomName()) + "=" + std::to_string(rng() % 3);
      default: return randomName() + "=" + std::to_string(rng() % 3);
    }
  };
  for (int i = 0; i < 80; ++i) l.Add(randomLine());
  for (int step = 0; step < 4000; ++step) {
    const int n = l.Count();
    switch (rng() % 9) {
      case 0: l.Add(randomLine()); break;
      case 1: if (n) l.Insert(int(rng() % n), randomLine()); break;
      case 2: if (n > 40) l.Delete(int(rng() % n)); break;
      case 3: if (n > 40) l.Delete(n - 1); break;
      case 4: if (n) l.SetStrings(int(rng() % n), randomLine()); break;
      case 5: if (n) l.Exchange(int(rng() % n), int(rng() % n)); break;
      case 6: l.SetValues(randomName(), rng() % 4 ? std::to_string(rng() % 3) : ""); break;
      case 7: if (n) l.Move(int(rng() % n), int(rng() % n)); break;
      default: l.SetCaseSensitive(rng() % 5 == 0); break;
    }
    for (int probe = 0; probe < 3; ++probe) {
      const std::string name = rng() % 2 ? randomName() : UpperCase(randomName());
      const std::string line = randomLine();
      int byName = -1, byLine = -1;
      for (int i = 0; i < l.Count(); ++i) {
        const std::string s = l[i];
        const size_t eq = s.find('=');
        const auto same = [&](const std::string& a, const std::string& b) {
          return l.CaseSensitive() ? a == b : SameText(a, b);
        };
        if (byName < 0 && eq != std::string::npos && same(s.substr(0, eq), name)) byName = i;
        if (byLine < 0 && same(s, line)) byLine = i;
      }
      ASSERT_EQ(l.IndexOfName(name), byName) << "step " << step << " name " << name;
      ASSERT_EQ(l.IndexOf(line), byLine) << "step " << step << " line " << line;
    }
  }
}

TEST(StringList, FiftyThousandLinesLoadAndMergeInLinearTime) {
  TempFolder t;
  std::string text;
  for (int i = 0; i < 50000; ++i) text += "%ROOT%\\bin\\file" + std::to_string(i) + ".dll=0123456789abcdef,100,50\r\n";
  WriteFileBytes(t / "big.ini", text);
  const auto start = std::chrono::steady_clock::now();
  TStringList source;
  source.LoadFromFile(t / "big.ini");
  ASSERT_EQ(source.Count(), 50000);
  // The fast-list merge: add each line whose name is not yet there.
  TStringList merged;
  for (int pass = 0; pass < 2; ++pass)
    for (int i = 0; i < source.Count(); ++i)
      if (merged.IndexOfName(source.Names(i)) < 0) merged.Add(source[i]);
  EXPECT_EQ(merged.Count(), 50000);
  for (int i = 0; i < 50000; i += 7) merged.SetValues(merged.Names(i), "x");  // value edits keep the index
  EXPECT_EQ(merged.IndexOfName("%root%\\BIN\\file49999.dll"), 49999);
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  EXPECT_LT(seconds, 30.0);  // a quadratic lookup takes many minutes here, even unloaded
}

// ---- Sorting and duplicates ----

TEST(StringList, SortedListsAndDuplicates) {
  TStringList l;
  l.SetSorted(true);
  EXPECT_EQ(l.Add("b"), 0);
  EXPECT_EQ(l.Add("a"), 0);
  EXPECT_EQ(l.Add("C"), 2);
  EXPECT_EQ(l.Add("B"), 1);  // dupIgnore: the index of the one already there
  EXPECT_EQ(Lines(l), (V{"a", "b", "C"}));
  l.SetDuplicates(dupError);
  EXPECT_THROW(l.Add("A"), EStringListError);
  l.SetDuplicates(dupAccept);
  l.AddObject("A", reinterpret_cast<TObject*>(&l));
  EXPECT_EQ(Lines(l), (V{"a", "A", "b", "C"}));  // equal strings in the order added
  EXPECT_EQ(l.Objects(1), reinterpret_cast<TObject*>(&l));
  EXPECT_THROW(l.Insert(0, "z"), EStringListError);
  EXPECT_THROW(l.SetStrings(0, "z"), EStringListError);
  int at = -1;
  EXPECT_TRUE(l.Find("B", at));
  EXPECT_EQ(at, 2);
  EXPECT_FALSE(l.Find("bb", at));
  EXPECT_EQ(at, 3);
  EXPECT_EQ(l.IndexOf("c"), 3);

  l.SetCaseSensitive(true);  // re-sorts by bytes
  EXPECT_EQ(Lines(l), (V{"A", "C", "a", "b"}));
  EXPECT_EQ(l.IndexOf("c"), -1);

  TStringList s;
  s.SetSorted(true);
  s.SetText("pear\nApple\nfig\napple\nPEAR");  // loaded in one go, duplicates ignored
  EXPECT_EQ(Lines(s), (V{"Apple", "fig", "pear"}));
  s.SetSorted(false);
  s.Insert(0, "zz");
  EXPECT_EQ(s[0], "zz");
  s.SetDuplicates(dupError);
  s.SetSorted(true);
  EXPECT_THROW(s.SetText("x\nX"), EStringListError);
}

TEST(StringList, CustomSortComparesByIndex) {
  TStringList l;
  l.SetText("ccc\na\nbbbb\ndd\ne");
  l.CustomSort([](TStringList* list, int i, int j) {
    return int(list->Strings(i).size()) - int(list->Strings(j).size());
  });
  for (int i = 1; i < l.Count(); ++i) EXPECT_LE(l[i - 1].size(), l[i].size());
  l.Sort();
  EXPECT_EQ(Lines(l), (V{"a", "bbbb", "ccc", "dd", "e"}));
}

// ---- Text, files, delimited text ----

TEST(StringList, LineBreaksAndCrLfRoundTrips) {
  TempFolder t;
  TStringList l;
  l.SetText("one\r\ntwo\nthree\rfour\n\r\nsix\r\n");
  EXPECT_EQ(Lines(l), (V{"one", "two", "three", "four", "", "six"}));
  EXPECT_EQ(l.Text(), "one\r\ntwo\r\nthree\r\nfour\r\n\r\nsix\r\n");
  l.SaveToFile(t / "Out.txt");
  EXPECT_EQ(ReadFileBytes(t / "Out.txt"), l.Text());
  TStringList back;
  back.LoadFromFile(t / "OUT.TXT");
  EXPECT_EQ(Lines(back), Lines(l));

  l.Clear();
  l.SaveToFile(t / "Out.txt");  // an empty list is an empty file
  EXPECT_EQ(ReadFileBytes(t / "Out.txt"), "");
  l.SetText("");
  EXPECT_EQ(l.Count(), 0);
  l.SetText("\n");
  EXPECT_EQ(Lines(l), (V{""}));

  WriteFileBytes(t / "bom.txt", std::string("\xEF\xBB\xBF[INSTALL]\nnul\0byte", 21));
  back.LoadFromFile(t / "bom.txt");
  EXPECT_EQ(Lines(back), (V{"[INSTALL]", std::string("nul\0byte", 8)}));  // nothing after a NUL is lost
  EXPECT_THROW(back.LoadFromFile(t / "missing.txt"), EFOpenError);
  EXPECT_EQ(back.Count(), 2);  // a failed load leaves the list alone
}

TEST(StringList, CommaAndDelimitedText) {
  TStringList l;
  l.SetCommaText(R"(a, "b c" ,"say ""hi""",,d e,"")");
  EXPECT_EQ(Lines(l), (V{"a", "b c", "say \"hi\"", "", "d", "e", ""}));
  EXPECT_EQ(l.CommaText(), R"(a,"b c","say ""hi""",,d,e,)");
  l.SetCommaText("x,");
  EXPECT_EQ(Lines(l), (V{"x", ""}));
  l.SetCommaText(R"("unclosed, text)");
  EXPECT_EQ(Lines(l), (V{"unclosed, text"}));
  l.Clear();
  l.Add("");
  EXPECT_EQ(l.CommaText(), "\"\"");
  l.SetDelimiter(';');
  l.SetQuoteChar('\'');
  l.SetDelimitedText("p;'q;r';s t");
  EXPECT_EQ(Lines(l), (V{"p", "q;r", "s", "t"}));
  EXPECT_EQ(l.DelimitedText(), "p;'q;r';s;t");
  EXPECT_EQ(l.CommaText(), "p,q;r,s,t");
  EXPECT_EQ(l.Delimiter(), ';');  // CommaText leaves the list's own delimiter alone
}

TEST(StringList, ChangeEventsOncePerUpdateBracket) {
  struct Counter : TObject {
    int changing = 0, changed = 0;
    void OnChanging(TObject*) { ++changing; }
    void OnChanged(TObject*) { ++changed; }
  } c;
  TStringList l;
  l.OnChanging = TNotifyEvent(&c, &Counter::OnChanging);
  l.OnChange = TNotifyEvent(&c, &Counter::OnChanged);
  l.Add("a");
  EXPECT_EQ(c.changing, 1);
  EXPECT_EQ(c.changed, 1);
  l.BeginUpdate();
  l.BeginUpdate();
  l.Add("b");
  l.SetValues("k", "v");
  l.Delete(0);
  l.EndUpdate();
  EXPECT_EQ(c.changed, 1);
  l.EndUpdate();
  EXPECT_EQ(c.changing, 2);
  EXPECT_EQ(c.changed, 2);
  l.SetText("x\ny\nz");
  EXPECT_EQ(c.changed, 3);
  l.EndUpdate();  // an extra EndUpdate is harmless
  EXPECT_EQ(l.UpdateCount(), 0);
}

TEST(StringList, AssignMoveExchangeAndIndexErrors) {
  TStringList a, b;
  TObject marker;
  a.AddObject("one", &marker);
  a.Add("two");
  a.Add("three");
  b.Add("old");
  b.Assign(&a);
  EXPECT_EQ(Lines(b), (V{"one", "two", "three"}));
  EXPECT_EQ(b.Objects(0), &marker);
  b.Move(0, 2);
  EXPECT_EQ(Lines(b), (V{"two", "three", "one"}));
  EXPECT_EQ(b.Objects(2), &marker);
  b.Exchange(0, 2);
  EXPECT_EQ(Lines(b), (V{"one", "three", "two"}));
  b.AddStrings(&a);
  EXPECT_EQ(b.Count(), 6);
  EXPECT_EQ(b.IndexOfObject(&marker), 0);
  try {
    b.Strings(6);
    FAIL();
  } catch (const EStringListError& e) {
    EXPECT_EQ(e.Message(), "List index out of bounds (6)");
  }
  EXPECT_THROW(b.Delete(-1), EStringListError);
  EXPECT_THROW(b.Insert(7, "x"), EStringListError);
  EXPECT_THROW(b.Move(0, 9), EStringListError);
  EXPECT_EQ(b.Count(), 6);  // a refused move loses nothing
  TPersistent other;
  EXPECT_THROW(b.Assign(&other), EConvertError);
}

// ---- ExtractStrings ----

TEST(ExtractStrings, FieldsBlanksAndQuotes) {
  TStringList l;
  EXPECT_EQ(ExtractStrings(",", " ", "  js, xml,,exe ,  ,dll", &l), 4);
  EXPECT_EQ(Lines(l), (V{"js", "xml", "exe ", "dll"}));  // blanks after a field stay
  l.Clear();
  EXPECT_EQ(ExtractStrings(",", " ", R"(%ROOT%\x.exe, "a, b" ,'c,d',true)", &l), 4);
  EXPECT_EQ(Lines(l), (V{"%ROOT%\\x.exe", "\"a, b\" ", "'c,d'", "true"}));  // quotes are kept
  l.Clear();
  EXPECT_EQ(ExtractStrings(",", " ", "a\r\nb\nc", &l), 3);  // line breaks separate too
  EXPECT_EQ(ExtractStrings(",", " ", "", &l), 0);
  EXPECT_EQ(ExtractStrings(",", " ", " , ,", &l), 0);
  EXPECT_EQ(ExtractStrings(",", " ", "x", nullptr), 0);
  l.Clear();
  EXPECT_EQ(ExtractStrings(".", "", "1.2..5|x", &l), 3);
  EXPECT_EQ(Lines(l), (V{"1", "2", "5|x"}));
  l.Clear();
  EXPECT_EQ(ExtractStrings(",", "", "\"open, quote", &l), 1);
}

// ---- TList and TObjectList ----

int g_alive = 0;
struct Probe : TObject {
  VX_CLASS(Probe, TObject)
 public:
  int id;
  explicit Probe(int i = 0) : id(i) { ++g_alive; }
  ~Probe() override { --g_alive; }
};

TEST(Lists, OwningListDeletesWhatItLoses) {
  g_alive = 0;
  {
    TObjectList owning;
    Probe* p[5];
    for (int i = 0; i < 5; ++i) owning.Add(p[i] = new Probe(i));
    owning.Delete(0);
    EXPECT_EQ(g_alive, 4);
    EXPECT_EQ(owning.Remove(p[2]), 1);
    EXPECT_EQ(g_alive, 3);
    EXPECT_EQ(owning.Remove(p[2]), -1);
    EXPECT_EQ(owning.Extract(p[3]), p[3]);  // extracted, not deleted
    EXPECT_EQ(g_alive, 3);
    owning.SetItems(0, p[3]);  // replacing deletes the old one
    EXPECT_EQ(g_alive, 2);
    EXPECT_EQ(owning.FindInstanceOf(Probe::StaticClass()), 0);
    EXPECT_EQ(owning.FindInstanceOf(TObject::StaticClass()), -1);
    EXPECT_EQ(owning.FindInstanceOf(TObject::StaticClass(), false), 0);
  }
  EXPECT_EQ(g_alive, 0);
  Probe a(1), b(2);
  {
    TObjectList borrowed(false);
    borrowed.Add(&a);
    borrowed.Add(&b);
    borrowed.Delete(0);
  }
  EXPECT_EQ(g_alive, 2);
}

TEST(Lists, PointerListOperations) {
  int v[6] = {5, 3, 9, 1, 7, 3};
  TList l;
  for (int& x : v) l.Add(&x);
  l.Sort([](void* a, void* b) { return *static_cast<int*>(a) - *static_cast<int*>(b); });
  std::vector<int> sorted;
  for (int i = 0; i < l.Count(); ++i) sorted.push_back(*static_cast<int*>(l[i]));
  EXPECT_EQ(sorted, (std::vector<int>{1, 3, 3, 5, 7, 9}));
  EXPECT_EQ(*static_cast<int*>(l.First()), 1);
  EXPECT_EQ(*static_cast<int*>(l.Last()), 9);
  l.Move(0, 5);
  EXPECT_EQ(*static_cast<int*>(l.Last()), 1);
  l.Insert(0, nullptr);
  l.Add(nullptr);
  l.Pack();
  EXPECT_EQ(l.Count(), 6);
  try {
    l.Items(6);
    FAIL();
  } catch (const EListError& e) {
    EXPECT_EQ(e.Message(), "List index out of bounds (6)");
  }
  l.Clear();
  EXPECT_THROW(l.First(), EListError);
  l.SetCount(3);
  EXPECT_EQ(l[2], nullptr);
}

TEST(Lists, ThreadListLockIsRecursiveAndIgnoresDuplicates) {
  TThreadList tl;
  int a = 0, b = 0;
  tl.Add(&a);
  tl.Add(&a);
  TList* l = tl.LockList();
  tl.Add(&b);  // the holding thread may lock again
  EXPECT_EQ(l->Count(), 2);
  std::atomic<bool> otherGotIn{false};
  std::thread other([&] {
    tl.LockList();
    otherGotIn = true;
    tl.UnlockList();
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_FALSE(otherGotIn);
  tl.UnlockList();
  other.join();
  EXPECT_TRUE(otherGotIn);
  tl.SetDuplicates(dupError);
  EXPECT_THROW(tl.Add(&b), EListError);
}

}  // namespace
