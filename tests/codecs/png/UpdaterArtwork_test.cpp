// The updater's pictures: every name its forms load is in the program's resource
// table (the same files the loader embeds as type PNG), with the size its layout
// expects, and nothing else lies in the folder.
#include <algorithm>
#include <cctype>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "platform/win/resources.h"
#include "tests/codecs/png/PngTestUtil.h"

using namespace pngtest;

namespace {

struct Picture {
  std::string name;
  int width, height;
};

const std::vector<std::string> kEditions = {"", "ENG", "TAVO", "MIRU", "KELD"};

std::vector<Picture> UpdaterPictures() {
  std::vector<Picture> all = {
      {"Version_A", 98, 89},       {"FileChack_A", 98, 89},         {"Down_A", 98, 89},
      {"Complet_A", 85, 89},       {"EngVersion_A", 98, 89},        {"EngFileChack_A", 98, 89},
      {"EngDown_A", 98, 89},       {"EngComplet_A", 85, 89},        {"DEFAULTADBACKGROUNDRES", 450, 268},
      {"BtnConfirm_Up", 79, 24},   {"BtnConfirm_Down", 79, 24},     {"BtnDetailView_Up", 68, 18},
      {"BtnDetailView_Down", 68, 18}, {"BtnFailed_Up", 81, 24},     {"FailedBackground", 448, 253},
  };
  for (const std::string& prefix : kEditions) {
    all.push_back({prefix + "Backgroundres", 450, 398});
    all.push_back({prefix + "BackVerCheckres", 450, 398});
    if (!prefix.empty()) all.push_back({prefix + "AdBackgroundres", 450, 268});
  }
  return all;
}

std::string Upper(std::string s) {
  std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return char(std::toupper(c)); });
  return s;
}

std::string Lower(std::string s) {
  std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return char(std::tolower(c)); });
  return s;
}

TColor TopLeft(const std::string& Name) {
  TPNGObject png;
  png.LoadFromResourceName(nullptr, Name);
  return png.GetPixels(4, 4);
}

TEST(UpdaterArtwork, EveryPictureIsEmbeddedWithItsSizeAndFoundInAnyCase) {
  for (const Picture& p : UpdaterPictures()) {
    SCOPED_TRACE(p.name);
    HRSRC exact = FindResource(nullptr, p.name.c_str(), "PNG");
    ASSERT_NE(exact, nullptr);
    EXPECT_EQ(FindResource(nullptr, Upper(p.name).c_str(), "png"), exact);
    EXPECT_EQ(FindResource(nullptr, Lower(p.name).c_str(), "Png"), exact);
    EXPECT_LT(SizeofResource(nullptr, exact), 16u * 1024u) << "flat pictures stay small";

    TPNGObject png;
    png.LoadFromResourceName(nullptr, Lower(p.name));
    EXPECT_EQ(png.Width(), p.width);
    EXPECT_EQ(png.Height(), p.height);
    // Drawn opaque: the forms lay them over nothing.
    EXPECT_EQ(png.GetTransparencyMode(), ptmNone);
  }
}

TEST(UpdaterArtwork, TheFolderHoldsExactlyThesePictures) {
  const std::filesystem::path folder = std::filesystem::path(VX_SOURCE_DIR) / "resources" / "PNG";
  std::set<std::string> expected, found;
  for (const Picture& p : UpdaterPictures()) expected.insert(p.name + ".png");
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    const std::string name = entry.path().filename().string();
    found.insert(name);
    SCOPED_TRACE(name);
    // The embedded bytes are the file's.
    HRSRC info = FindResource(nullptr, entry.path().stem().string().c_str(), "PNG");
    ASSERT_NE(info, nullptr);
    EXPECT_EQ(SizeofResource(nullptr, info), std::filesystem::file_size(entry.path()));
    // Decoded as the reference decoder sees the file.
    TFileStream file(entry.path().string(), fmOpenRead);
    std::vector<uint8_t> bytes(size_t(file.Size()));
    file.ReadBuffer(bytes.data(), file.Size());
    auto png = Load(bytes);
    EXPECT_TRUE(SamePixels(*png, pngref::Read(bytes)));
  }
  EXPECT_EQ(found, expected);
}

TEST(UpdaterArtwork, ButtonPicturesKeepClearOfTheTransparentColour) {
  // The bitmap buttons leave out pixels of their transparent colour (olive).
  for (const char* name : {"BtnConfirm_Up", "BtnConfirm_Down", "BtnDetailView_Up", "BtnDetailView_Down",
                           "BtnFailed_Up"}) {
    SCOPED_TRACE(name);
    TPNGObject png;
    png.LoadFromResourceName(nullptr, name);
    int olive = 0;
    for (int y = 0; y < png.Height(); ++y)
      for (int x = 0; x < png.Width(); ++x) olive += png.GetPixels(x, y) == clOlive;
    EXPECT_EQ(olive, 0);
  }
}

TEST(UpdaterArtwork, EachEditionHasItsOwnColours) {
  std::set<TColor> headers;
  for (const std::string& prefix : kEditions) {
    SCOPED_TRACE(prefix);
    const TColor header = TopLeft(prefix + "Backgroundres");
    EXPECT_NE(header, clWhite);
    EXPECT_EQ(TopLeft(prefix + "BackVerCheckres"), header);
    EXPECT_EQ(TopLeft((prefix.empty() ? "DEFAULT" : prefix) + "AdBackgroundres"), header);
    headers.insert(header);
  }
  EXPECT_EQ(headers.size(), kEditions.size());
}

}  // namespace
