// The tag parser: the rich label's own cases, texts a careless or hostile writer may
// give it, and thousands of generated tag trees read against Python's html.parser.
#include "bizcontrols/HtmlParser.h"

#include <gtest/gtest.h>

#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/TempFolder.h"
#include "tests/support/run_program.h"
#include "tests/support/script_file.h"

namespace {

const char* const kTags = "BR,B,I,U,A,BLINK,MARQUEE,FONT";

struct TRun {
  int type;
  std::string str, prop;
  int gid;
  bool operator==(const TRun&) const = default;
};

std::ostream& operator<<(std::ostream& os, const TRun& r) {
  return os << "(" << r.type << ", \"" << r.str << "\", \"" << r.prop << "\", " << r.gid << ")";
}

std::vector<TRun> Runs(THtmlParser& Parser, const std::string& Text) {
  std::vector<TRun> runs;
  const int n = Parser.Parse(Text);
  for (int i = 0; i < n; ++i)
    runs.push_back(TRun{Parser.GetParsedItemType(i), Parser.GetParsedItemStr(i), Parser.GetParsedItemProp(i),
                        Parser.GetParsedItemGID(i)});
  return runs;
}

TEST(HtmlParser, RunsFlagsAttributesAndGroups) {
  const struct {
    std::string text;
    std::vector<TRun> runs;
    const char* tags = kTags;
  } cases[] = {
      {"a<B>b<I>c</I></B><BR>d", {{0, "a", "", -1}, {2, "b", " ", -1}, {6, "c", "  ", -1}, {1, "", "", -1},
                                  {0, "d", "", -1}}},
      {"<MARQUEE DIRECTION='U' SPEED='50'>x</MARQUEE>y",
       {{64, "x", "DIRECTION='U' SPEED='50' ", 0}, {0, "y", "", -1}}},
      // Blocks take consecutive groups; nested runs share their block's.
      {"<MARQUEE>a<B>b</B></MARQUEE>-<MARQUEE>c</MARQUEE>",
       {{64, "a", " ", 0}, {66, "b", "  ", 0}, {0, "-", "", -1}, {64, "c", " ", 1}}},
      // The innermost tag's attributes come first.
      {"<FONT SIZE='9'><FONT COLOR='255'>x</FONT></FONT>", {{128, "x", "COLOR='255' SIZE='9' ", -1}}},
      {"<B><B>x</B>y</B>", {{2, "x", "  ", -1}, {2, "y", " ", -1}}},
      // Only the names as listed: lower case stays text, an unlisted name encloses.
      {"<b>x</b>", {{0, "<b>x</b>", "", -1}}},
      {"<Bx>y</Bx>z", {{0, "y", " ", -1}, {0, "z", "", -1}}},
      {"<Br>", {{1, "", "", -1}}},
      {"x<BR ID='1'>", {{0, "x", "", -1}, {1, "", "ID='1'", -1}}},
      {"<B>unclosed", {{2, "unclosed", " ", -1}}},
      // An unclosed tag encloses the rest; no text comes twice.
      {"a<B>b<I>c</I>d", {{0, "a", "", -1}, {2, "b", " ", -1}, {6, "c", "  ", -1}, {2, "d", " ", -1}}},
      {"a</B>b<B>c</B>", {{0, "a</B>b", "", -1}, {2, "c", " ", -1}}},
      {"x<B", {{0, "x<B", "", -1}}},
      {"", {}},
      {std::string("a\0<B>b</B>", 10), {{0, "a", "", -1}}},
      // An empty name in the list keeps its place among the flags.
      {"<B>x</B><I>y</I>", {{1, "x", " ", -1}, {4, "y", " ", -1}}, "B,,I"},
  };
  for (const auto& c : cases) {
    THtmlParser parser(nullptr, c.tags);
    EXPECT_EQ(Runs(parser, c.text), c.runs) << c.text;
  }
}

TEST(HtmlParser, GroupsCountOnAcrossParsesAndQueriesCheckTheirIndex) {
  THtmlParser parser(nullptr, kTags);
  const std::string text = "<MARQUEE DIRECTION='U' SPEED='50'>x</MARQUEE>y";
  EXPECT_EQ(Runs(parser, text)[0].gid, 0);
  EXPECT_EQ(Runs(parser, text)[0].gid, 1);
  EXPECT_EQ(parser.GetFlag("<FONT>"), 128);
  EXPECT_EQ(parser.GetFlag("<font>"), 0);
  EXPECT_EQ(parser.GetFlag("<FONT"), 0);
  int n = 0;
  EXPECT_EQ(parser.FindSrtTag("xx<BLINK>", n), 2);
  EXPECT_EQ(n, 7);
  EXPECT_EQ(parser.FindSrtTag("<B no end", n), -1);
  EXPECT_EQ(n, 0);
  EXPECT_EQ(THtmlParser::FindEndTag("<B><B>x</B></B>y", "B"), 11);
  EXPECT_EQ(THtmlParser::FindEndTag("<B><BR></B>", "B"), 7);
  EXPECT_EQ(THtmlParser::FindEndTag("<B>x", "B"), -1);
  EXPECT_THROW(parser.GetParsedItemStr(2), EListError);
  EXPECT_THROW(parser.GetParsedItemType(-1), EListError);
}

TEST(HtmlParser, DeepOrEndlessNestingEndsWithoutExhaustingTheStack) {
  THtmlParser parser(nullptr, kTags);
  const int deep = 20000;
  std::string closed, open;
  for (int i = 0; i < deep; ++i) closed += "<B>";
  open = closed + "x";
  closed = open;
  for (int i = 0; i < deep; ++i) closed += "</B>";
  for (const std::string& text : {closed, open}) {
    const std::vector<TRun> runs = Runs(parser, text);
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(runs[0].type, 2);
    // Below the deepest level parsed, the rest is text.
    EXPECT_EQ(runs[0].str.find("<B>"), 0u);
    EXPECT_EQ(runs[0].str.substr(runs[0].str.size() - 1 - (text == closed ? 4 * (deep - THtmlParser::kMaxDepth) : 0), 1),
              "x");
  }
}

// ---- Generated trees against Python's html.parser ----

class TTreeWriter {
 public:
  explicit TTreeWriter(uint32_t Seed) : rng_(Seed) {}

  std::string Tree() { return Children(0); }

 private:
  int Below(int n) { return int(rng_() % uint32_t(n)); }

  std::string Text() {
    static const char* const words[] = {"a", "bc", "가나", "12", " ", "x y", "다라마", "ok.", "-", "  z"};
    std::string s;
    for (int i = 1 + Below(3); i > 0; --i) s += words[Below(10)];
    return s;
  }

  std::string Attributes(const std::string& Name) {
    std::string a;
    auto add = [&](const std::string& kv) { a += " " + kv; };
    if (Name == "A" && Below(3)) add("HREF='page" + std::to_string(Below(100)) + ".htm'");
    if (Name == "FONT" && Below(2)) add("SIZE='" + std::to_string(8 + Below(10)) + "'");
    if (Name == "FONT" && Below(2)) add("COLOR='$" + std::to_string(Below(9999)) + "'");
    if (Name == "MARQUEE" && Below(2)) add("DIRECTION='" + std::string(1, "LRUD"[Below(4)]) + "' SPEED='30'");
    if (!Below(4)) add("TITLE='t " + std::to_string(Below(50)) + "'");
    return a;
  }

  std::string Children(int Depth) {
    static const char* const names[] = {"B", "I", "U", "A", "BLINK", "MARQUEE", "FONT"};
    std::string s;
    for (int i = Below(4); i > 0; --i) {
      const int kind = Below(10);
      if (kind < 4 || Depth >= 5) {
        s += Text();
      } else if (kind < 5) {
        s += Below(3) ? "<BR>" : "<BR ID='" + std::to_string(Below(9)) + "'>";
      } else {
        const std::string name = names[Below(7)];
        s += "<" + name + Attributes(name) + ">" + Children(Depth + 1) + "</" + name + ">";
      }
    }
    return s;
  }

  std::mt19937 rng_;
};

std::vector<std::vector<TRun>> PythonRuns(const std::vector<std::string>& Texts) {
  TempFolder folder;
  std::string input;
  for (const std::string& t : Texts) input += t + "\n";
  WriteFileBytes(folder / "in.txt", input);
  vxtest::RunOptions options;
  options.timeoutSeconds = 300;
  const auto result = vxtest::RunProgram(
      {"python3", std::string(VX_SOURCE_DIR) + "/tests/bizcontrols/html_parser_oracle.py", folder / "in.txt",
       folder / "out.txt"},
      options);
  EXPECT_TRUE(result.exited && result.exitCode == 0) << "the oracle failed";
  std::vector<std::vector<TRun>> all(1);
  std::istringstream out(ReadFileBytes(folder / "out.txt"));
  for (std::string line; std::getline(out, line);) {
    if (line == "E") {
      all.emplace_back();
      continue;
    }
    std::vector<std::string> f;
    size_t start = 0;
    for (size_t tab; (tab = line.find('\t', start)) != std::string::npos; start = tab + 1)
      f.push_back(line.substr(start, tab - start));
    f.push_back(line.substr(start));
    if (f.size() != 5) {
      ADD_FAILURE() << "bad oracle line: " << line;
      continue;
    }
    all.back().push_back(TRun{std::stoi(f[1]), f[3], f[4], std::stoi(f[2])});
  }
  all.pop_back();
  return all;
}

TEST(HtmlParser, AgreesWithPythonsHtmlParserOnGeneratedTrees) {
  TTreeWriter writer(20240611);
  std::vector<std::string> texts;
  for (int i = 0; i < 4000; ++i) texts.push_back(writer.Tree());
  const std::vector<std::vector<TRun>> expected = PythonRuns(texts);
  ASSERT_EQ(expected.size(), texts.size());
  THtmlParser parser(nullptr, kTags);  // one parser: groups count on from text to text
  int differing = 0;
  size_t runs = 0;
  for (size_t i = 0; i < texts.size(); ++i) {
    const std::vector<TRun> got = Runs(parser, texts[i]);
    runs += got.size();
    if (got != expected[i] && ++differing <= 5) {
      ADD_FAILURE() << "text: " << texts[i] << "\n  ours:   " << ::testing::PrintToString(got)
                    << "\n  python: " << ::testing::PrintToString(expected[i]);
    }
  }
  EXPECT_EQ(differing, 0);
  EXPECT_GT(runs, texts.size()) << "the trees hold runs to compare";
}

}  // namespace
