#include "movie/gif_lzw.h"

#include <cstring>
#include <utility>

namespace gif {

namespace {

constexpr int kMaxCode = 4095;  // the table is reset rather than this code used

inline uint32_t Hash(uint32_t key) { return (key * 2654435761u) >> 18; }

// Packs codes of growing width into bytes, least significant bit first, and
// cuts the bytes into sub-blocks.
class BitWriter {
 public:
  explicit BitWriter(std::vector<uint8_t>* out) : out_(out) {}
  void Put(int code, int width) {
    bits_ |= uint64_t(code) << count_;
    count_ += width;
    while (count_ >= 8) {
      Byte(uint8_t(bits_));
      bits_ >>= 8;
      count_ -= 8;
    }
  }
  void Finish() {
    if (count_ > 0) Byte(uint8_t(bits_));
    if (blockFill_ > 0) (*out_)[blockStart_] = uint8_t(blockFill_);
    out_->push_back(0);
  }

 private:
  void Byte(uint8_t b) {
    if (blockFill_ == 255) {
      (*out_)[blockStart_] = 255;
      blockFill_ = 0;
    }
    if (blockFill_ == 0) {
      blockStart_ = out_->size();
      out_->push_back(0);
    }
    out_->push_back(b);
    ++blockFill_;
  }
  std::vector<uint8_t>* out_;
  uint64_t bits_ = 0;
  int count_ = 0;
  size_t blockStart_ = 0;
  int blockFill_ = 0;
};

}  // namespace

int MinCodeSizeFor(int maxIndex) {
  int bits = 2;
  while ((1 << bits) <= maxIndex) ++bits;
  return bits;
}

LzwEncoder::LzwEncoder() : keys_(kSlots), codes_(kSlots), generations_(kSlots, 0) {}

int LzwEncoder::Find(uint32_t key) const {
  for (uint32_t slot = Hash(key);; slot = (slot + 1) & (kSlots - 1)) {
    if (generations_[slot] != generation_) return -1;
    if (keys_[slot] == key) return codes_[slot];
  }
}

void LzwEncoder::Insert(uint32_t key, int code) {
  uint32_t slot = Hash(key);
  while (generations_[slot] == generation_) slot = (slot + 1) & (kSlots - 1);
  generations_[slot] = generation_;
  keys_[slot] = key;
  codes_[slot] = uint16_t(code);
}

void LzwEncoder::Encode(const PixelChoice* pixels, size_t count, int minCodeSize, FreeChoice how,
                        std::vector<uint8_t>* out, std::vector<uint8_t>* chosen) {
  out->push_back(uint8_t(minCodeSize));
  BitWriter bits(out);
  const int clearCode = 1 << minCodeSize, endCode = clearCode + 1;
  int width = minCodeSize + 1, limit = 1 << width, next = endCode + 1;
  auto reset = [&] {
    if (++generation_ == 0) {  // after four billion resets the old marks could match again
      std::fill(generations_.begin(), generations_.end(), 0);
      generation_ = 1;
    }
    width = minCodeSize + 1;
    limit = 1 << width;
    next = endCode + 1;
  };
  // Writes a code, widening the codes that follow once the decoder's table,
  // one entry behind ours, reaches the current width's limit.
  auto emit = [&](int code) {
    bits.Put(code, width);
    if (next >= limit && width < 12) limit = 1 << ++width;
  };
  reset();
  emit(clearCode);
  if (chosen) chosen->resize(count);
  if (count == 0) {
    emit(endCode);
    bits.Finish();
    return;
  }
  const bool preferSecond = how == FreeChoice::kPreferSecond || how == FreeChoice::kOnlySecond;
  const bool only = how == FreeChoice::kOnlyFirst || how == FreeChoice::kOnlySecond;
  auto choose = [&](PixelChoice p) {
    if (preferSecond) std::swap(p.first, p.second);
    if (only) p.second = p.first;
    return p;
  };
  int current = choose(pixels[0]).first;
  if (chosen) (*chosen)[0] = uint8_t(current);
  for (size_t i = 1; i < count; ++i) {
    const PixelChoice p = choose(pixels[i]);
    const uint32_t prefix = uint32_t(current) << 8;
    int found = Find(prefix | p.first);
    uint8_t symbol = p.first;
    if (found < 0 && p.second != p.first) {
      found = Find(prefix | p.second);
      if (found >= 0) symbol = p.second;
    }
    if (found >= 0) {
      current = found;
    } else {
      emit(current);
      if (next >= kMaxCode) {
        emit(clearCode);
        reset();
      } else {
        Insert(prefix | symbol, next++);
      }
      current = symbol;
    }
    if (chosen) (*chosen)[i] = symbol;
  }
  emit(current);
  emit(endCode);
  bits.Finish();
}

}  // namespace gif
