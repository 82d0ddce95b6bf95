// The stub's resources as zor create rewrites them: icon files checked image by image, version
// information, the execution level, the rebuilt resource section and headers of the real stub (which must
// still pass its own self-check), damaged resource trees, and the PE checksum.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "cli/archive_file.h"
#include "cli/stub_image.h"
#include "encoder/icon_file.h"
#include "encoder/pe_resources.h"
#include "encoder/stub_resources.h"
#include "encoder/version_info.h"
#include "support/recording_front_end.h"
#include "support/temp_tree.h"

namespace zor::encoder {
namespace {

using Bytes = std::vector<uint8_t>;

void Put16(Bytes& b, uint32_t v) {
  b.push_back(static_cast<uint8_t>(v));
  b.push_back(static_cast<uint8_t>(v >> 8));
}
void Put32(Bytes& b, uint32_t v) {
  Put16(b, v & 0xFFFF);
  Put16(b, v >> 16);
}
uint32_t Load32(const Bytes& b, size_t at) {
  return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | static_cast<uint32_t>(b[at + 3]) << 24;
}

// One image of a test icon: a bitmap of `bits` per pixel, or a PNG (only its signature and header).
struct TestImage {
  uint32_t width, height, bits;
  bool png;
};

Bytes ImageBytes(const TestImage& t) {
  Bytes b;
  if (t.png) {
    b = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n', 0, 0, 0, 13, 'I', 'H', 'D', 'R'};
    for (uint32_t v : {t.width, t.height})
      for (int shift = 24; shift >= 0; shift -= 8) b.push_back(static_cast<uint8_t>(v >> shift));
    b.insert(b.end(), {8, 6, 0, 0, 0, 0, 0, 0, 0});
    return b;
  }
  Put32(b, 40);
  Put32(b, t.width);
  Put32(b, 2 * t.height);
  Put16(b, 1);
  Put16(b, t.bits);
  b.resize(b.size() + 24 + t.width * t.height * t.bits / 8 + t.height * ((t.width + 31) / 32 * 4));
  return b;
}

Bytes IconFile(const std::vector<TestImage>& images) {
  Bytes file;
  Put16(file, 0);
  Put16(file, 1);
  Put16(file, static_cast<uint32_t>(images.size()));
  uint32_t offset = 6 + 16 * static_cast<uint32_t>(images.size());
  std::vector<Bytes> data;
  for (const TestImage& t : images) {
    data.push_back(ImageBytes(t));
    file.push_back(static_cast<uint8_t>(t.width));
    file.push_back(static_cast<uint8_t>(t.height));
    file.insert(file.end(), {0, 0});
    Put16(file, 0);  // planes and bit count left out, as many icon files do
    Put16(file, 0);
    Put32(file, static_cast<uint32_t>(data.back().size()));
    Put32(file, offset);
    offset += static_cast<uint32_t>(data.back().size());
  }
  for (const Bytes& d : data) file.insert(file.end(), d.begin(), d.end());
  return file;
}

const std::vector<TestImage> kFourSizes = {{16, 16, 4, false}, {32, 32, 8, false}, {48, 48, 32, false},
                                           {256, 256, 32, true}};

TEST(IconFile, EveryImageIsTakenWithItsSizeAndDepth) {
  std::vector<IconImage> images;
  std::string error;
  ASSERT_TRUE(ParseIconFile(IconFile(kFourSizes), images, error)) << error;
  ASSERT_EQ(images.size(), 4u);
  for (size_t i = 0; i < 4; ++i) {
    EXPECT_EQ(images[i].width, kFourSizes[i].width);
    EXPECT_EQ(images[i].height, kFourSizes[i].height);
    EXPECT_EQ(images[i].bitCount, kFourSizes[i].bits);  // from the image when the entry leaves it out
    EXPECT_EQ(images[i].png, kFourSizes[i].png);
    EXPECT_EQ(images[i].data, ImageBytes(kFourSizes[i]));
  }
  std::vector<IconGroupEntry> group;
  ASSERT_TRUE(ParseIconGroup(BuildIconGroup(images, 7), group));
  ASSERT_EQ(group.size(), 4u);
  EXPECT_EQ(group[3].width, 256);
  EXPECT_EQ(group[3].id, 10);
}

TEST(IconFile, BadFilesAreRefusedSayingWhy) {
  Bytes valid = IconFile({{32, 32, 4, false}, {48, 48, 32, true}});
  auto changed = [&](size_t at, uint8_t value) {
    Bytes b = valid;
    b[at] = value;
    return b;
  };
  const struct {
    const char* what;
    Bytes file;
    const char* message;
  } cases[] = {
      {"empty", {}, "it is not an icon file"},
      {"a bitmap file", {'B', 'M', 0, 0, 0, 0, 0, 0}, "it is not an icon file"},
      {"a cursor", changed(2, 2), "it is a cursor file, not an icon file"},
      {"no image", changed(4, 0), "it holds no image"},
      {"list cut", Bytes(valid.begin(), valid.begin() + 30), "it ends inside its list of images"},
      {"image beyond the end", Bytes(valid.begin(), valid.end() - 1), "image 2 lies outside the file"},
      {"bitmap wider than its entry", changed(6 + 32 + 4, 33), "image 1 is a bitmap of 33 x 32 pixels, but its entry says 32 x 32"},
      {"bitmap of 3 bits", changed(6 + 32 + 14, 3), "image 1 has 3 bits per pixel, which icons do not use"},
      {"PNG smaller than its entry", changed(6 + 16 + 1, 64), "image 2 is a PNG of 48 x 48 pixels, but its entry says 48 x 64"},
      {"neither", changed(6 + 32, 41), "image 1 is neither a bitmap nor a PNG"},
  };
  for (const auto& c : cases) {
    std::vector<IconImage> images;
    std::string error;
    EXPECT_FALSE(ParseIconFile(c.file, images, error)) << c.what;
    EXPECT_EQ(error, c.message) << c.what;
  }
}

TEST(VersionInfo, EveryKeyComesBackInItsOrder) {
  VersionInfo info;
  for (const char* key : kVersionKeys) info.strings.emplace_back(key, u"value of " + std::u16string(key, key + std::strlen(key)));
  info.strings.emplace_back("ProductName", u"Caf\u00e9 \u20ac \U0001F600");  // beyond ASCII and the BMP
  info.fileVersion = 0x0001000200030004;
  info.productVersion = 0x0005000600070008;
  VersionInfo back;
  ASSERT_TRUE(ParseVersionInfo(BuildVersionInfo(info), back));
  EXPECT_EQ(back.strings, info.strings);
  EXPECT_EQ(back.fileVersion, info.fileVersion);
  EXPECT_EQ(back.productVersion, info.productVersion);
}

TEST(VersionInfo, NumbersFromTheVersionText) {
  const struct {
    const char16_t* text;
    uint64_t numbers;
  } cases[] = {
      {u"1.2.3.4", 0x0001000200030004}, {u"2.0 beta", 0x0002000000000000}, {u"10,20,30,40", 0x000A0014001E0028},
      {u"1.2.3.4.5", 0x0001000200030004}, {u"v1.2", 0}, {u"", 0}, {u"70000.1", 0xFFFF000100000000},
  };
  for (const auto& c : cases) EXPECT_EQ(ParseVersionNumbers(c.text), c.numbers) << Utf16ToUtf8(c.text);
}

TEST(VersionInfo, DamagedResourcesAreRefused) {
  VersionInfo info;
  info.strings = {{"ProductName", u"Demo"}, {"FileVersion", u"1.0"}};
  const Bytes good = BuildVersionInfo(info);
  VersionInfo back;
  for (size_t cut = 0; cut < good.size(); cut += 7) {
    Bytes b(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(cut));
    EXPECT_FALSE(ParseVersionInfo(b, back) && back.strings == info.strings) << cut;
  }
  Bytes longer = good;
  longer[0] = 0xFF, longer[1] = 0xFF;  // a length beyond the resource
  EXPECT_FALSE(ParseVersionInfo(longer, back));
}

TEST(Utf16, ConversionsBothWays) {
  std::u16string out;
  EXPECT_TRUE(Utf8ToUtf16("A\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80", out));
  EXPECT_EQ(out, u"A\u00e9\u20ac\U0001F600");
  EXPECT_EQ(Utf16ToUtf8(out), "A\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80");
  for (const char* bad : {"\x80", "\xC3", "\xC0\xAF", "\xED\xA0\x80", "\xF4\x90\x80\x80"})
    EXPECT_FALSE(Utf8ToUtf16(bad, out)) << bad;
  EXPECT_EQ(Utf16ToUtf8(std::u16string(1, u'\xD800')), "\xEF\xBF\xBD");
}

// ---- The real stub ----

Bytes Stub() { return Bytes(kStubImage, kStubImage + kStubImageSize); }

// Writes `image` (and an empty archive's worth of nothing) to a file and runs the stub's own start-up
// checks on it: the image's end and its integrity stamp.
ImageCheck SelfCheck(const Bytes& image) {
  test::TempTree t;
  t.File("x.exe", image);
  test::RecordingFrontEnd frontEnd;
  ArchiveFile file(frontEnd);
  file.Open(t.Path("x.exe").c_str());  // no archive behind: only the image checks count here
  return file.image();
}

ResourceSummary Summary(const Bytes& image) {
  ResourceSummary s;
  std::string error;
  EXPECT_TRUE(SummarizeResources(image.data(), image.size(), s, error)) << error;
  return s;
}

TEST(StubResources, TheStubsOwnResourcesSurviveAReadAndARewrite) {
  Bytes stub = Stub();
  std::vector<Resource> resources;
  std::string error;
  ASSERT_TRUE(ReadResources(stub.data(), stub.size(), resources, error)) << error;
  ASSERT_GE(resources.size(), 5u);  // two dialogs, an icon and its group, the manifest
  Bytes rewritten = stub;
  ASSERT_TRUE(ReplaceResources(rewritten, resources, error)) << error;
  std::vector<Resource> again;
  ASSERT_TRUE(ReadResources(rewritten.data(), rewritten.size(), again, error)) << error;
  ASSERT_EQ(again.size(), resources.size());
  for (size_t i = 0; i < again.size(); ++i) {
    EXPECT_EQ(again[i].type, resources[i].type);
    EXPECT_EQ(again[i].name, resources[i].name);
    EXPECT_EQ(again[i].language, resources[i].language);
    EXPECT_EQ(again[i].data, resources[i].data);
  }
  ResourceSummary s = Summary(stub);
  EXPECT_EQ(s.executionLevel, "asInvoker");
  ASSERT_EQ(s.icons.size(), 1u);
  EXPECT_EQ(s.icons[0].width, 32);
  EXPECT_FALSE(s.hasVersion);
}

TEST(StubResources, EachExecutionLevel) {
  for (const char* level : kExecutionLevels) {
    StubChanges changes;
    changes.executionLevel = level;
    Bytes out;
    std::string error;
    ASSERT_TRUE(CustomizeStub(kStubImage, kStubImageSize, changes, out, error)) << error;
    EXPECT_EQ(Summary(out).executionLevel, level);
    EXPECT_TRUE(ImageIsIntact(SelfCheck(out))) << level;
  }
}

TEST(StubResources, IconAndVersionInformationAndTheHeadersThatFollow) {
  StubChanges changes;
  std::string error;
  ASSERT_TRUE(ParseIconFile(IconFile(kFourSizes), changes.icons, error)) << error;
  VersionInfo& v = changes.version.emplace();
  v.strings = {{"ProductName", u"Demo"}, {"FileVersion", u"1.2"}};
  v.fileVersion = ParseVersionNumbers(u"1.2");
  Bytes out;
  ASSERT_TRUE(CustomizeStub(kStubImage, kStubImageSize, changes, out, error)) << error;

  ResourceSummary s = Summary(out);
  ASSERT_EQ(s.icons.size(), 4u);
  for (size_t i = 0; i < 4; ++i) EXPECT_EQ(s.icons[i].width, kFourSizes[i].width);
  EXPECT_EQ(s.version.strings, v.strings);
  EXPECT_EQ(s.executionLevel, "asInvoker");  // untouched
  std::vector<Resource> resources;
  ASSERT_TRUE(ReadResources(out.data(), out.size(), resources, error));
  size_t icons = 0;
  for (const Resource& r : resources) icons += r.type.id == kResourceIcon;
  EXPECT_EQ(icons, 4u);  // the stub's own image is gone

  // The headers: the image ends where the resource section's raw data ends, SizeOfImage covers its
  // virtual size, the resource directory entry gives its size, and the self-check passes.
  PeHeaders h;
  ASSERT_TRUE(ReadPeHeaders(out.data(), out.size(), h, error));
  EXPECT_EQ(h.imageEnd, out.size());
  const size_t last = h.sectionTable + 40 * (h.sectionCount - 1);
  const uint32_t virtualSize = Load32(out, last + 8), address = Load32(out, last + 12);
  EXPECT_EQ(Load32(out, last + 16) % h.fileAlignment, 0u);
  EXPECT_GE(Load32(out, last + 16), virtualSize);
  EXPECT_EQ(Load32(out, h.optional + 56), (address + virtualSize + h.sectionAlignment - 1) / h.sectionAlignment * h.sectionAlignment);
  EXPECT_EQ(Load32(out, h.optional + (h.is64Bit ? 112 : 96) + 2 * 8 + 4), virtualSize);
  const ImageCheck check = SelfCheck(out);
  EXPECT_TRUE(ImageIsIntact(check));
  EXPECT_EQ(check.layout.appendedDataOffset, out.size());
}

TEST(StubResources, WhatCannotBeRewritten) {
  Bytes stub = Stub();
  std::string error;
  std::vector<Resource> resources;
  ASSERT_TRUE(ReadResources(stub.data(), stub.size(), resources, error));
  PeHeaders h;
  ASSERT_TRUE(ReadPeHeaders(stub.data(), stub.size(), h, error));

  Bytes signed_ = stub;
  signed_[h.optional + 96 + 4 * 8 + 4] = 0x10;  // a certificate table
  EXPECT_FALSE(ReplaceResources(signed_, resources, error));
  EXPECT_EQ(error, "the executable is signed; its resources can only change before signing");

  Bytes trailing = stub;
  trailing.push_back(0);
  EXPECT_FALSE(ReplaceResources(trailing, resources, error));
  EXPECT_EQ(error, "the executable has data behind its image");

  // No manifest to take an execution level.
  std::erase_if(resources, [](const Resource& r) { return r.type.id == kResourceManifest; });
  Bytes bare = stub;
  ASSERT_TRUE(ReplaceResources(bare, resources, error));
  StubChanges changes;
  changes.executionLevel = "requireAdministrator";
  Bytes out;
  EXPECT_FALSE(CustomizeStub(bare.data(), bare.size(), changes, out, error));
  EXPECT_EQ(error, "the stub has no manifest with an execution level");
}

// Random damage to the resource section: reading must fail or succeed, never read outside the bytes
// (the asan preset runs this too).
TEST(StubResources, DamagedTreesNeverReadOutside) {
  const Bytes stub = Stub();
  PeHeaders h;
  std::string error;
  ASSERT_TRUE(ReadPeHeaders(stub.data(), stub.size(), h, error));
  const size_t last = h.sectionTable + 40 * (h.sectionCount - 1);
  const uint32_t start = Load32(stub, last + 20);
  std::mt19937 random(12);
  for (int round = 0; round < 2000; ++round) {
    Bytes b = stub;
    const int changes = 1 + round % 4;
    for (int k = 0; k < changes; ++k) {
      // Mostly the directories at the section's start, where every offset lives.
      const uint32_t span = round % 3 ? 0x200 : static_cast<uint32_t>(b.size() - start);
      b[start + random() % span] = static_cast<uint8_t>(random());
    }
    std::vector<Resource> resources;
    ResourceSummary s;
    ReadResources(b.data(), b.size(), resources, error);
    SummarizeResources(b.data(), b.size(), s, error);
  }
}

TEST(PeChecksum, InPiecesAsWhole) {
  // 0x0201 + 0x0403 + 0x0005 + length 5 (an odd length: the last byte is a word of its own).
  PeChecksum small(100);
  const uint8_t bytes[] = {1, 2, 3, 4, 5};
  small.Add(bytes, 5);
  EXPECT_EQ(small.Finish(), 0x0201u + 0x0403 + 0x0005 + 5);

  // Carries wrap around into the low bits; the CheckSum field counts as zero.
  Bytes big(100001);
  std::mt19937 random(3);
  for (uint8_t& b : big) b = static_cast<uint8_t>(random());
  PeChecksum whole(0x40);
  whole.Add(big.data(), big.size());
  PeChecksum pieces(0x40);
  for (size_t at = 0; at < big.size(); at += 777) pieces.Add(&big[at], std::min<size_t>(777, big.size() - at));
  EXPECT_EQ(whole.Finish(), pieces.Finish());
  uint64_t sum = 0;
  for (size_t i = 0; i < big.size(); i += 2) {
    uint32_t word = (i >= 0x40 && i < 0x44) ? 0 : big[i] | (i + 1 < big.size() ? big[i + 1] << 8 : 0);
    sum += word;
  }
  while (sum >> 16) sum = (sum & 0xFFFF) + (sum >> 16);
  EXPECT_EQ(whole.Finish(), sum + big.size());
}

}  // namespace
}  // namespace zor::encoder
