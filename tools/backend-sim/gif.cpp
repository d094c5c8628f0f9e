#include "gif.h"

#include <cstdint>
#include <unordered_map>
#include <vector>

namespace {

const int kWidth = 48;
const int kHeight = 24;
const int kFrames = 3;
const int kDelayHundredths = 50;
const int kMinCodeSize = 2;  // 4 colours

void PutLe16(std::string* out, int value) {
  out->push_back(static_cast<char>(value & 0xff));
  out->push_back(static_cast<char>((value >> 8) & 0xff));
}

// Packs variable-width codes least significant bit first, as GIF readers expect.
class BitWriter {
 public:
  void Put(int code, int width) {
    accumulator_ |= static_cast<uint32_t>(code) << used_;
    used_ += width;
    while (used_ >= 8) {
      bytes_.push_back(static_cast<uint8_t>(accumulator_ & 0xff));
      accumulator_ >>= 8;
      used_ -= 8;
    }
  }
  std::vector<uint8_t> Finish() {
    if (used_ > 0) bytes_.push_back(static_cast<uint8_t>(accumulator_ & 0xff));
    return bytes_;
  }

 private:
  std::vector<uint8_t> bytes_;
  uint32_t accumulator_ = 0;
  int used_ = 0;
};

std::vector<uint8_t> CompressLzw(const std::vector<uint8_t>& pixels) {
  const int clear = 1 << kMinCodeSize;
  const int end = clear + 1;
  std::unordered_map<uint32_t, int> table;
  int next = clear + 2;
  int width = kMinCodeSize + 1;
  BitWriter writer;
  writer.Put(clear, width);
  int prefix = pixels[0];
  for (size_t i = 1; i < pixels.size(); ++i) {
    const uint32_t key = static_cast<uint32_t>(prefix) << 8 | pixels[i];
    const auto found = table.find(key);
    if (found != table.end()) {
      prefix = found->second;
      continue;
    }
    writer.Put(prefix, width);
    if (next < 4096) {
      table[key] = next++;
      // The reader adds its entry one code later, so it widens once the table holds more codes
      // than the current width can name.
      if (next > (1 << width) && width < 12) ++width;
    } else {
      writer.Put(clear, width);
      table.clear();
      next = clear + 2;
      width = kMinCodeSize + 1;
    }
    prefix = pixels[i];
  }
  writer.Put(prefix, width);
  writer.Put(end, width);
  return writer.Finish();
}

}  // namespace

std::string MakeBannerGif() {
  std::string gif = "GIF89a";
  PutLe16(&gif, kWidth);
  PutLe16(&gif, kHeight);
  gif.push_back(static_cast<char>(0xF1));  // global table of 2^(1+1) colours, 8-bit resolution
  gif.push_back(0);                        // background colour index
  gif.push_back(0);                        // square pixels
  const uint8_t palette[4][3] = {
      {0x20, 0x24, 0x30}, {0xe8, 0x4c, 0x3d}, {0x2e, 0xcc, 0x71}, {0x34, 0x98, 0xdb}};
  for (const auto& colour : palette) gif.append(reinterpret_cast<const char*>(colour), 3);
  // Application extension that makes viewers loop forever.
  gif += std::string("\x21\xFF\x0B", 3) + "NETSCAPE2.0" + std::string("\x03\x01\x00\x00\x00", 5);

  for (int frame = 0; frame < kFrames; ++frame) {
    gif += std::string("\x21\xF9\x04\x00", 4);  // graphic control: no transparency
    PutLe16(&gif, kDelayHundredths);
    gif += std::string("\x00\x00", 2);
    gif.push_back(0x2C);  // image descriptor covering the whole canvas, no local table
    PutLe16(&gif, 0);
    PutLe16(&gif, 0);
    PutLe16(&gif, kWidth);
    PutLe16(&gif, kHeight);
    gif.push_back(0);

    // Each frame moves a bar of its own colour across a dark background.
    std::vector<uint8_t> pixels(kWidth * kHeight, 0);
    for (int y = 0; y < kHeight; ++y) {
      for (int x = frame * 16; x < frame * 16 + 16; ++x) {
        pixels[y * kWidth + x] = static_cast<uint8_t>(1 + frame);
      }
    }
    const std::vector<uint8_t> data = CompressLzw(pixels);
    gif.push_back(static_cast<char>(kMinCodeSize));
    for (size_t at = 0; at < data.size(); at += 255) {
      const size_t piece = std::min<size_t>(255, data.size() - at);
      gif.push_back(static_cast<char>(piece));
      gif.append(reinterpret_cast<const char*>(data.data() + at), piece);
    }
    gif.push_back(0);
  }
  gif.push_back(0x3B);
  return gif;
}
