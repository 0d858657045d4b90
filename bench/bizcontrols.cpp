// The business controls: a 300 x 25 image button repainted (its picture stretched and
// drawn with its key colour left out, and its caption) and a rich label of 50 runs
// repainted, each set against the same pixels drawn straight with the canvas in the
// same run; and the tag parser on a 100 KB tagged text, set against Python's
// html.parser collecting the same runs from the same text; and the help status bar's
// look-up of one code in a 20,000-line help file, set against a linear search of the
// same lines.
#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>
#include <cstdlib>
#include <fstream>
#include <random>
#include <string>

#include "bench/timing.h"
#include "bizcontrols/HtmlParser.h"
#include "bizcontrols/vxBizStatusBar.h"
#include "bizcontrols/vxImageButton.h"
#include "bizcontrols/vxXLabel.h"
#include "platform/display/headless.h"
#include "platform/rtl/sysutils.h"
#include "platform/vcl/forms.h"

namespace {

using vxbench::PairedRatio;
using vxbench::Time;

void Report(const char* What, double Took, double Ratio, const char* Reference) {
  std::printf("%-40s %9.2f us   %7.3fx %s\n", What, Took, Ratio, Reference);
}

// A picture with rounded corners in its key colour (the bottom-left pixel).
void ButtonPicture(TBitmap* B, int W, int H) {
  B->SetPixelFormat(pf24bit);
  B->SetSize(W, H);
  TCanvas* c = B->Canvas();
  c->Brush()->SetColor(clFuchsia);
  c->FillRect(TRect{0, 0, W, H});
  for (int y = 1; y < H - 1; ++y) {
    c->Brush()->SetColor(TColor(0x905020 + y * 0x030303));
    c->FillRect(TRect{1, y, W - 1, y + 1});
  }
}

// A text of about Size bytes: runs of words in nested tags, line breaks and blocks of
// scrolling text.
std::string TaggedText(size_t Size) {
  static const char* const names[] = {"B", "I", "U", "A HREF='p.htm'", "BLINK", "MARQUEE SPEED='30'",
                                      "FONT SIZE='12' COLOR='255'"};
  std::mt19937 rng(7);
  std::string s;
  std::vector<std::string> open;
  while (s.size() < Size) {
    const unsigned k = rng() % 10;
    if (k < 3 && open.size() < 6) {
      const std::string tag = names[rng() % 7];
      s += "<" + tag + ">";
      open.push_back(tag.substr(0, tag.find(' ')));
    } else if (k < 5 && !open.empty()) {
      s += "</" + open.back() + ">";
      open.pop_back();
    } else if (k < 6) {
      s += "<BR>";
    } else {
      s += "words of text " + std::to_string(rng() % 1000) + " ";
    }
  }
  while (!open.empty()) {
    s += "</" + open.back() + ">";
    open.pop_back();
  }
  return s;
}

// Python's html.parser over the text, collecting each run with its tag flags as the
// parser does: microseconds per parse, the best of five rounds.
double PythonParse(const std::string& Text) {
  const std::string dir = "/tmp/vx_bench_parser_" + std::to_string(getpid());
  std::system(("mkdir -p " + dir).c_str());
  std::ofstream(dir + "/text.txt") << Text;
  std::ofstream(dir + "/parse.py") << R"(import sys, time
from html.parser import HTMLParser
FLAGS = {"br": 1, "b": 2, "i": 4, "u": 8, "a": 16, "blink": 32, "marquee": 64, "font": 128}
class Runs(HTMLParser):
    def __init__(self):
        super().__init__()
        self.stack, self.runs = [], []
    def handle_starttag(self, tag, attrs):
        if tag == "br":
            self.runs.append((1, "", attrs))
        else:
            self.stack.append((FLAGS.get(tag, 0), self.get_starttag_text()))
    def handle_endtag(self, tag):
        self.stack.pop()
    def handle_data(self, data):
        flags = 0
        for f, _ in self.stack:
            flags |= f
        self.runs.append((flags, data, " ".join(t for _, t in reversed(self.stack))))
text = open(sys.argv[1], encoding="utf-8").read()
best = 1e30
for _ in range(5):
    t0 = time.perf_counter()
    for _ in range(5):
        p = Runs()
        p.feed(text)
        p.close()
    best = min(best, (time.perf_counter() - t0) / 5)
print(best * 1e6)
)";
  double us = 0;
  if (FILE* f = popen(("python3 " + dir + "/parse.py " + dir + "/text.txt").c_str(), "r")) {
    if (std::fscanf(f, "%lf", &us) != 1) us = 0;
    pclose(f);
  }
  std::system(("rm -rf " + dir).c_str());
  return us;
}

// The look-up of one code in a help file of 20,000 lines: once the bar has indexed the
// file, and the first look-up after the lines changed; against a linear search for the
// first line of that code in the same lines.
void HelpLookupBench() {
  constexpr int kLines = 20000;
  const std::string dir = "/tmp/vx_bench_help_" + std::to_string(getpid());
  ForceDirectories(dir + "/Help");
  std::vector<std::string> lines;
  std::string text;
  for (int i = 0; i < kLines; ++i) {
    lines.push_back("EDT" + std::to_string(i * 7919 % 100000) + "|거래처 도움말 " + std::to_string(i));
    text += lines.back() + "\r\n";
  }
  const std::string bytes = TEncoding::GetEncoding(949)->GetBytes(text);
  FILE* f = std::fopen((dir + "/Help/BENCH.wxt").c_str(), "wb");
  std::fwrite(bytes.data(), 1, bytes.size(), f);
  std::fclose(f);
  const std::string exe = Application->ExeName();
  Application->SetExeName(dir + "/prog");
  TvxBizStatusBar bar(nullptr);
  bar.SetHelpFileName("BENCH");
  Application->SetExeName(exe);

  const std::string code = lines[kLines * 3 / 4].substr(0, lines[kLines * 3 / 4].find('|'));
  std::string found, straight;
  const auto linear = [&] {
    const std::string key = code + "|";
    for (const std::string& line : lines)
      if (line.compare(0, key.size(), key) == 0) {
        straight = line.substr(key.size());
        return;
      }
  };
  double took = 0;
  double ratio = PairedRatio([&] { found = bar.GetHelpStingListText(code); }, linear, 200, took);
  Report("help look-up, 20,000-line file", took, ratio, "a linear search of the same lines");
  ratio = PairedRatio(
      [&] {
        bar.HelpStringList()->Insert(0, "NEW|line");  // lines move: the next look-up indexes again
        bar.HelpStringList()->Delete(0);
        found = bar.GetHelpStingListText(code);
      },
      linear, 5, took);
  Report("  the first after a change", took, ratio, "a linear search of the same lines");
  if (found != straight || found.empty()) std::printf("  look-ups differ: \"%s\" \"%s\"\n", found.c_str(), straight.c_str());
  std::system(("rm -rf " + dir).c_str());
}

}  // namespace

int main() {
  Application->SetPresenter(std::make_unique<vx::display::THeadlessPresenter>());
  TForm form(Application);
  form.SetClientSize(420, 320);
  form.SetColor(clWhite);

  auto* button = new TvxImageButton(&form);
  TBitmap up;
  ButtonPicture(&up, 60, 25);
  button->UpImage()->Assign(&up);
  button->SetBounds(10, 10, 300, 25);
  button->SetCaption("Confirm the update");
  button->SetParent(&form);

  auto* label = new TvxXLabel(&form);
  label->SetBounds(10, 50, 400, 260);
  label->SetParent(&form);
  std::string text;
  static const char* const styles[] = {"B", "I", "U", "FONT SIZE='11' COLOR='255'", ""};
  for (int i = 0; i < 50; ++i) {
    const std::string tag = styles[i % 5], name = tag.substr(0, tag.find(' '));
    const std::string word = "run" + std::to_string(i) + " ";
    text += tag.empty() ? word : "<" + tag + ">" + word + "</" + name + ">";
    if (i % 10 == 9) text += "<BR>";
  }
  label->SetText(text);
  form.Show();
  Application->ProcessMessages();

  // The same pixels drawn straight on a bitmap's canvas.
  TBitmap target;
  target.SetPixelFormat(pf24bit);
  target.SetSize(420, 320);
  TCanvas* c = target.Canvas();

  TBitmap stretched;
  {
    TBitmap work;
    work.Assign(&up);
    button->CreateButtonImage(&work, &stretched);
    stretched.SetTransparent(true);
  }
  c->Font()->SetName("굴림");
  c->Font()->SetSize(9);
  c->Font()->SetColor(TColor(0x5B5B5B));
  double took = 0;
  const double buttonRatio = PairedRatio([&] { button->Repaint(); }, [&] {
    c->Brush()->SetColor(clWhite);
    c->FillRect(TRect{10, 10, 310, 35});
    c->Draw(10, 10, &stretched);
    TRect r{10, 10, 310, 35};
    SetBkMode(c->Handle(), TRANSPARENT);
    DrawText(c->Handle(), "Confirm the update", -1, &r, DT_SINGLELINE | DT_VCENTER | DT_CENTER);
  }, 50, took);
  Report("image button 300 x 25 repainted", took, buttonRatio, "the same pixels drawn straight");

  const double labelRatio = PairedRatio(
      [&] { label->Repaint(); },
      [&] {
        c->Brush()->SetColor(clBtnFace);
        c->FillRect(TRect{10, 50, 410, 310});
        c->Brush()->SetStyle(bsClear);
        for (int i = 0; i < label->HelperCount(); ++i) {
          TvxXLabelHelper* run = label->Helpers(i);
          c->SetFont(run->Font());
          c->TextOut(10 + run->Left(), 50 + run->Top(), run->Caption());
        }
        c->Brush()->SetStyle(bsSolid);
      },
      10, took);
  Report("rich label of 50 runs repainted", took, labelRatio, "the same pixels drawn straight");

  const std::string tagged = TaggedText(100 * 1024);
  THtmlParser parser(nullptr, "BR,B,I,U,A,BLINK,MARQUEE,FONT");
  int runs = 0;
  const double ours = Time([&] { runs = parser.Parse(tagged); }, 5);
  const double python = PythonParse(tagged);
  if (python > 0)
    Report("tag parser, 100 KB tagged text", ours, ours / python, "Python's html.parser");
  else
    std::printf("tag parser, 100 KB tagged text %9.1f us (python3 not found)\n", ours);
  std::printf("  (%d runs)\n", runs);
  HelpLookupBench();
  return 0;
}
