#include "driver/name_hash.h"

namespace tesk {

namespace {
constexpr char kAlphabet[] = "TMpUivZnQsHw1klS3Ah5d6qr7tjKxJOIEmYP8VgGzcDR0f2uBe4aobWLNCFy9X";
}

std::string name_hash_text(std::string_view s) {
  // All arithmetic wraps at 8 bits, as the stored names depend on it bit for bit.
  u8 buf[32] = {};
  u8 sum = 0;
  size_t len = s.size();
  if (len == 0) {
    // No caller passes an empty text; hash a single zero byte rather than read past the end.
    static const char zero = 0;
    s = std::string_view(&zero, 1);
    len = 1;
  }
  size_t i = 0;
  u8 j = 0;
  bool wrapped = false;
  while (true) {
    u8 c;
    if (i < len) {
      c = (u8)s[i];
    } else {
      c = (u8)s[0];
      wrapped = true;
      i = 0;
    }
    i++;
    sum = (u8)(sum + j + 21 * (u8)((i + c) & 0xff));
    buf[j] = (u8)(c + sum);
    j++;
    if (j == 32) {
      j = 0;
      if (wrapped) break;
    }
  }
  u8 b = 116;
  std::string out(32, ' ');
  for (int k = 31; k >= 0; k--) {
    u8 c = buf[k];
    u8 t = (u8)(12 * c + sum);
    out[k] = kAlphabet[(u8)(t + b) % 62];
    sum = (u8)(11 * c + sum + b);
    b = (u8)(b - 12);
  }
  return out;
}

u32 name_hash_u32(std::string_view s) {
  std::string h = name_hash_text(s);
  u32 result = 0;
  for (int n = 0; n < 4; n++) {
    u8 byte = 0;
    for (int k = n; k < 32; k += 4) byte = (u8)(byte + (u8)h[k]);
    result |= (u32)byte << (8 * n);
  }
  return result;
}

}  // namespace tesk
