// The version resource: nested blocks, each a length, a value length, a type, a UTF-16 key, its value and
// its children, every part aligned to four bytes.
#include "encoder/version_info.h"

#include "platform/bytes.h"

namespace zor::encoder {

namespace {

constexpr uint32_t kFixedInfoSignature = 0xFEEF04BD;
constexpr uint32_t kFixedInfoSize = 52;
constexpr uint32_t kFileOsWindowsNt = 0x00040004;  // VOS_NT_WINDOWS32
constexpr uint32_t kFileTypeApplication = 1;       // VFT_APP
constexpr uint16_t kLanguageUsEnglish = 0x0409;
constexpr uint16_t kCodePageUtf16 = 1200;
constexpr int kMaxDepth = 4;


class Writer {
 public:
  // Opens a block; returns its start for End.
  size_t Begin(const std::u16string& key, uint16_t valueLength, bool text) {
    Align();
    size_t start = out_.size();
    Put16(0);
    Put16(valueLength);
    Put16(text ? 1 : 0);
    for (char16_t c : key) Put16(c);
    Put16(0);
    Align();
    return start;
  }
  void End(size_t start) {
    size_t length = out_.size() - start;
    out_[start] = static_cast<uint8_t>(length);
    out_[start + 1] = static_cast<uint8_t>(length >> 8);
  }
  void Put16(uint32_t v) {
    out_.push_back(static_cast<uint8_t>(v));
    out_.push_back(static_cast<uint8_t>(v >> 8));
  }
  void Put32(uint32_t v) {
    Put16(v & 0xFFFF);
    Put16(v >> 16);
  }
  void Align() {
    while (out_.size() % 4) out_.push_back(0);
  }
  std::vector<uint8_t>& bytes() { return out_; }

 private:
  std::vector<uint8_t> out_;
};

std::u16string Ascii(const char* text) { return std::u16string(text, text + std::char_traits<char>::length(text)); }

// One block of a version resource, read with bounds checks.
struct Block {
  std::u16string key;
  const uint8_t* value;
  uint32_t valueBytes;
  bool text;
  uint32_t childrenAt, end;  // offsets in the resource
};

bool ReadBlock(const std::vector<uint8_t>& r, uint32_t at, uint32_t limit, Block& b) {
  if (limit > r.size() || at > limit || limit - at < 6) return false;
  const uint32_t length = LoadLE16(&r[at]), valueLength = LoadLE16(&r[at + 2]);
  if (length < 6 || length > limit - at) return false;
  b.end = at + length;
  b.text = LoadLE16(&r[at + 4]) == 1;
  uint32_t p = at + 6;
  b.key.clear();
  for (;; p += 2) {
    if (b.end - p < 2) return false;
    char16_t c = static_cast<char16_t>(LoadLE16(&r[p]));
    if (c == 0) break;
    b.key.push_back(c);
  }
  p = (p + 2 + 3) & ~3u;
  b.valueBytes = b.text ? 2 * valueLength : valueLength;
  if (p > b.end || b.valueBytes > b.end - p) {
    // Some writers count a text value in bytes or without its terminator: take what the block holds.
    if (!b.text || p > b.end) return false;
    b.valueBytes = b.end - p;
  }
  b.value = r.data() + p;
  b.childrenAt = (p + b.valueBytes + 3) & ~3u;
  return true;
}

std::u16string TextValue(const Block& b) {
  std::u16string text;
  for (uint32_t i = 0; 2 * i + 2 <= b.valueBytes; ++i) {
    char16_t c = static_cast<char16_t>(LoadLE16(b.value + 2 * i));
    if (c == 0) break;
    text.push_back(c);
  }
  return text;
}

bool ReadChildren(const std::vector<uint8_t>& r, const Block& parent, int depth, VersionInfo& info) {
  if (depth > kMaxDepth) return false;
  for (uint32_t at = parent.childrenAt; at + 6 <= parent.end; at = (at + 3) & ~3u) {
    Block b;
    if (!ReadBlock(r, at, parent.end, b)) return false;
    if (depth == 1 && b.key != u"StringFileInfo") {
      at = b.end;
      continue;  // VarFileInfo
    }
    if (depth == 3) {
      std::string key = Utf16ToUtf8(b.key);
      info.strings.emplace_back(key, TextValue(b));
    } else if (!ReadChildren(r, b, depth + 1, info)) {
      return false;
    }
    if (depth == 2) return true;  // the first string table only
    at = b.end;
  }
  return true;
}

}  // namespace

uint64_t ParseVersionNumbers(const std::u16string& text) {
  uint64_t parts[4] = {0, 0, 0, 0};
  size_t i = 0;
  for (int part = 0; part < 4; ++part) {
    if (i >= text.size() || text[i] < u'0' || text[i] > u'9') break;
    uint32_t value = 0;
    for (; i < text.size() && text[i] >= u'0' && text[i] <= u'9'; ++i) {
      value = value * 10 + static_cast<uint32_t>(text[i] - u'0');
      if (value > 0xFFFF) value = 0xFFFF;
    }
    parts[part] = value;
    if (i >= text.size() || (text[i] != u'.' && text[i] != u',')) break;
    ++i;
  }
  return parts[0] << 48 | parts[1] << 32 | parts[2] << 16 | parts[3];
}

std::vector<uint8_t> BuildVersionInfo(const VersionInfo& info) {
  Writer w;
  size_t root = w.Begin(u"VS_VERSION_INFO", kFixedInfoSize, false);
  w.Put32(kFixedInfoSignature);
  w.Put32(0x00010000);  // structure version 1.0
  w.Put32(static_cast<uint32_t>(info.fileVersion >> 32));
  w.Put32(static_cast<uint32_t>(info.fileVersion));
  w.Put32(static_cast<uint32_t>(info.productVersion >> 32));
  w.Put32(static_cast<uint32_t>(info.productVersion));
  w.Put32(0x3F);  // flags mask
  w.Put32(0);     // flags: a release build
  w.Put32(kFileOsWindowsNt);
  w.Put32(kFileTypeApplication);
  w.Put32(0);     // subtype
  w.Put32(0);     // date
  w.Put32(0);

  size_t fileInfo = w.Begin(u"StringFileInfo", 0, true);
  size_t table = w.Begin(u"040904B0", 0, true);
  for (const auto& [key, value] : info.strings) {
    size_t s = w.Begin(Ascii(key.c_str()), static_cast<uint16_t>(value.size() + 1), true);
    for (char16_t c : value) w.Put16(c);
    w.Put16(0);
    w.End(s);
  }
  w.End(table);
  w.End(fileInfo);

  size_t varInfo = w.Begin(u"VarFileInfo", 0, true);
  size_t translation = w.Begin(u"Translation", 4, false);
  w.Put16(kLanguageUsEnglish);
  w.Put16(kCodePageUtf16);
  w.End(translation);
  w.End(varInfo);
  w.End(root);
  return std::move(w.bytes());
}

bool ParseVersionInfo(const std::vector<uint8_t>& resource, VersionInfo& info) {
  info = VersionInfo{};
  Block root;
  if (!ReadBlock(resource, 0, static_cast<uint32_t>(resource.size()), root) || root.key != u"VS_VERSION_INFO")
    return false;
  if (root.valueBytes >= kFixedInfoSize && LoadLE32(root.value) == kFixedInfoSignature) {
    info.fileVersion = static_cast<uint64_t>(LoadLE32(root.value + 8)) << 32 | LoadLE32(root.value + 12);
    info.productVersion = static_cast<uint64_t>(LoadLE32(root.value + 16)) << 32 | LoadLE32(root.value + 20);
  }
  return ReadChildren(resource, root, 1, info);
}

}  // namespace zor::encoder
