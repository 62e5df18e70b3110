#include "driver/name_hash.h"

#include <gtest/gtest.h>

namespace tesk {
namespace {

struct HashCase {
  const char* input;
  const char* text;  // nullptr when only the code is known
  u32 code;
};

TEST(NameHash, KnownValues) {
  const HashCase cases[] = {
      {"not_found", "N78XipY9tjMfCdseTISovkvBa0YNzKBT", 0xafb5a413},
      {"build_error", "84Bi5yAAxqoo7fPmaZZdxkc8VHpAYfw0", 0x93e6f7a4},
      {"abc", "YvcZ3ii3ReYLOkn290BNMUOIBUrhF91O", 0x59c7c23b},
      {"a", "Sve1SuPqvPGZctL1MwI4UCS9Cct0tKG4", 0xfe9f17d8},
      {"end", nullptr, 0x9d6aa9c5},
      {"out_of_range", nullptr, 0x8237c5c0},
      {"empty", nullptr, 0x6609c512},
      {"invalid", nullptr, 0xf4fef40d},
      {"fail", nullptr, 0x9d6f22ca},
      {"open", nullptr, 0x736a8ccb},
      {"read", nullptr, 0xa0d07ca4},
      {"more", nullptr, 0xb41409e5},
      {"stop_build", nullptr, 0x939ee8b8},
      {"parse_error", nullptr, 0x8d795765},
      {"complex", nullptr, 0x15f5fc14},
      {"key_not_found", nullptr, 0x2ea9ac88},
      {"error", nullptr, 0xdad49186},
  };
  for (const HashCase& c : cases) {
    SCOPED_TRACE(c.input);
    if (c.text) {
      EXPECT_EQ(name_hash_text(c.input), c.text);
    }
    EXPECT_EQ(name_hash_u32(c.input), c.code);
  }
}

TEST(NameHash, ConstantsMatchTheirNames) {
  const std::pair<const char*, u32> cases[] = {
      {"not_found", err::not_found},   {"build_error", err::build_error}, {"end", err::end},
      {"out_of_range", err::out_of_range}, {"empty", err::empty},     {"invalid", err::invalid},
      {"fail", err::fail},             {"open", err::open},               {"read", err::read},
      {"more", err::more},             {"stop_build", err::stop_build},   {"parse_error", err::parse_error},
      {"complex", err::complex},       {"key_not_found", err::key_not_found}, {"error", err::error},
  };
  for (auto [name, code] : cases) EXPECT_EQ(name_hash_u32(name), code) << name;
}

TEST(NameHash, LettersFromTheAlphabetOnly) {
  const std::string alphabet = "TMpUivZnQsHw1klS3Ah5d6qr7tjKxJOIEmYP8VgGzcDR0f2uBe4aobWLNCFy9X";
  for (std::string s : {std::string("x"), std::string(32, 'q'), std::string(100, '\xff'), std::string("a/b\\c d")}) {
    std::string h = name_hash_text(s);
    ASSERT_EQ(h.size(), 32u);
    for (char c : h) EXPECT_NE(alphabet.find(c), std::string::npos);
  }
}

TEST(NameHash, EveryByteCounts) {
  // Texts at and around the 32-byte buffer size, and texts that differ only after
  // their 32nd byte, all hash differently.
  std::string base(40, 'k');
  std::string other = base;
  other[39] = 'm';
  EXPECT_NE(name_hash_text(base), name_hash_text(other));
  EXPECT_NE(name_hash_text(std::string(31, 'k')), name_hash_text(std::string(32, 'k')));
  EXPECT_NE(name_hash_text(std::string(32, 'k')), name_hash_text(std::string(33, 'k')));
  EXPECT_NE(name_hash_text("ab"), name_hash_text("ba"));
}

}  // namespace
}  // namespace tesk
