// Animations as a viewer sees them: the painter's composed frames against
// ImageMagick's, round trips through the reference library and ImageMagick, and the
// optimisers, which must not change a single composed pixel nor grow the file.
#include <gtest/gtest.h>

#include <functional>

#include "tests/codecs/gif/GifAnimation.h"

using namespace giftest;

namespace {

const TColor kBackground = ColorOf(1, 2, 3);

struct Sample {
  std::string name;
  Bytes file;
};

// The generated animations, and the same rewritten by ImageMagick when it is there.
std::vector<Sample> Samples() {
  std::vector<Sample> out;
  int set = 0;
  for (const auto& frames : AnimationSets()) {
    const std::string name = "set " + std::to_string(set);
    out.push_back({name, gifref::Encode(Animation(40, 30, frames, uint32_t(100 + set++)))});
    if (Convert().empty()) continue;
    TempDir dir;
    WriteFile(dir / "in.gif", out.back().file);
    if (Shell(Convert() + " " + dir / "in.gif" + " " + dir / "out.gif") == 0)
      out.push_back({name + " rewritten by ImageMagick", ReadFile(dir / "out.gif")});
  }
  return out;
}

TEST(Animation, ComposedFramesEqualImageMagicksCoalesce) {
  if (Convert().empty()) GTEST_SKIP() << "ImageMagick is not installed";
  for (const Sample& s : Samples()) {
    SCOPED_TRACE(s.name);
    auto image = Load(s.file);
    const std::vector<Bytes> ours = Pictures(Play(*image, kBackground));
    EXPECT_EQ(int(ours.size()), image->Images()->Count());
    EXPECT_EQ(FirstDifference(ours, Coalesce(s.file, kBackground), image->Width()), "");
  }
}

TEST(Animation, FilesOfTheReferenceAndImageMagickSurviveSavingAndLoading) {
  for (const Sample& s : Samples()) {
    SCOPED_TRACE(s.name);
    auto first = Load(s.file);
    const Bytes saved = Save(*first);
    auto second = Load(saved);
    EXPECT_TRUE(Play(*first, kBackground) == Play(*second, kBackground));
    EXPECT_EQ(Save(*second), saved);
    // The reference library reads what was saved as it reads the original.
    EXPECT_TRUE(Same(gifref::Decode(saved), gifref::Decode(s.file)));
  }
}

using TOptimization = std::pair<std::string, std::function<void(TGIFImage&)>>;

const std::vector<TOptimization>& Optimizations() {
  static const std::vector<TOptimization> operations = {
      {"colour map", [](TGIFImage& I) { I.OptimizeColorMap(); }},
      {"crop", [](TGIFImage& I) { I.Optimize({ooCrop}, rmNone, dmNearest, 8); }},
      {"merge", [](TGIFImage& I) { I.Optimize({ooMerge}, rmNone, dmNearest, 8); }},
      {"clean-up", [](TGIFImage& I) { I.Optimize({ooCleanup}, rmNone, dmNearest, 8); }},
      {"all", [](TGIFImage& I) { I.Optimize({ooCrop, ooMerge, ooCleanup, ooColorMap}, rmNone, dmNearest, 8); }},
      {"all, then the colour map",
       [](TGIFImage& I) {
         I.Optimize({ooCrop, ooMerge, ooCleanup, ooColorMap}, rmNone, dmNearest, 8);
         I.OptimizeColorMap();
       }},
  };
  return operations;
}

// Optimizing must not change what is shown, nor for how long. The generated samples are
// noise in colours of their own, where one table for all or an added transparent colour
// costs more than it saves, so their size is not compared.
TEST(Animation, OptimizingKeepsEveryComposedFrame) {
  for (const Sample& s : Samples())
    for (const auto& [name, optimize] : Optimizations()) {
      SCOPED_TRACE(s.name + ", " + name);
      auto image = Load(s.file);
      const std::vector<Shown> before = Timeline(Play(*image, kBackground));
      optimize(*image);
      const std::vector<Shown> after = Timeline(Play(*image, kBackground));
      EXPECT_EQ(FirstDifference(Pictures(after), Pictures(before), image->Width()), "");
      EXPECT_TRUE(after == before) << "delays differ";
    }
}

TEST(Animation, OptimizingASceneKeepsItsFramesAndShrinksTheFile) {
  for (const bool local : {false, true})
    for (const auto& [name, optimize] : Optimizations()) {
      SCOPED_TRACE(std::string(local ? "local tables, " : "") + name);
      auto image = Load(gifref::Encode(MovingSprite(12, local, 5)));
      const std::vector<Shown> before = Timeline(Play(*image, kBackground));
      const size_t sizeBefore = Save(*image).size();
      optimize(*image);
      EXPECT_TRUE(Timeline(Play(*image, kBackground)) == before);
      EXPECT_LE(Save(*image).size(), sizeBefore);
    }
}

}  // namespace
