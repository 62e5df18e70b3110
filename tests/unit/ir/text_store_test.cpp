#include "ir_fixture.h"
#include "ir/text_store.h"

namespace tesk::test {

std::string_view put_text(TextStore& s, const std::string& text) {
  char* room = s.open(text.size());
  std::memcpy(room, text.data(), text.size());
  return s.keep(text.size());
}

// Texts that do not fit the rest of a chunk start the next one whole; earlier texts
// stay where they are, and one larger than a chunk gets a chunk of its own.
TEST(TextStore, TextsStayWholeAcrossChunks) {
  TextStore s(64);
  std::vector<std::string> texts;
  std::vector<std::string_view> views;
  for (int i = 0; i < 40; i++) {
    std::string t(static_cast<size_t>(5 + i * 7 % 50), static_cast<char>('a' + i % 26));
    t += std::to_string(i);
    texts.push_back(t);
    views.push_back(put_text(s, t));
  }
  std::string big(1000, 'B');
  texts.push_back(big);
  views.push_back(put_text(s, big));
  texts.push_back("after");
  views.push_back(put_text(s, "after"));
  u64 total = 0;
  for (size_t i = 0; i < texts.size(); i++) {
    EXPECT_EQ(views[i], texts[i]) << i;
    total += texts[i].size();
  }
  EXPECT_EQ(s.kept_bytes(), total);
  EXPECT_GT(s.chunk_count(), 10u);
  s.release();
  EXPECT_EQ(s.chunk_count(), 0u);
  EXPECT_EQ(s.kept_bytes(), 0u);
  // Usable again after a release.
  EXPECT_EQ(put_text(s, "again"), "again");
}

// Room that is opened but not kept is reused by the next text.
TEST(TextStore, UnkeptRoomIsReused) {
  TextStore s(128);
  std::string_view a = put_text(s, "first");
  char* room = s.open(10);
  std::memcpy(room, "discarded!", 10);
  std::string_view b = put_text(s, "second");
  EXPECT_EQ(b.data(), room);
  EXPECT_EQ(a, "first");
  EXPECT_EQ(b, "second");
  EXPECT_EQ(s.kept_bytes(), 11u);
  EXPECT_EQ(s.chunk_count(), 1u);
}

// Large chunks are mapped on their own at a 2 MiB boundary (for huge pages): texts stay
// whole in them, also one larger than a chunk, and they go back on release.
TEST(TextStore, LargeChunksAreMappedAligned) {
  TextStore s;
  std::string a(1000, 'a');
  std::string_view va = put_text(s, a);
  EXPECT_EQ(reinterpret_cast<uintptr_t>(va.data()) % (2u << 20), 0u);
  std::string big(TextStore::kChunk + 12345, 'B');
  big[0] = 'C';
  big.back() = 'D';
  std::string_view vb = put_text(s, big);
  std::string_view vc = put_text(s, "after");
  EXPECT_EQ(va, a);
  EXPECT_EQ(vb, big);
  EXPECT_EQ(vc, "after");
  EXPECT_EQ(reinterpret_cast<uintptr_t>(vb.data()) % (2u << 20), 0u);
  // The big text's chunk is rounded up to whole huge pages; "after" uses the rest.
  EXPECT_EQ(s.chunk_count(), 2u);
  EXPECT_EQ(vc.data(), vb.data() + vb.size());
  s.release();
  EXPECT_EQ(s.chunk_count(), 0u);
  EXPECT_EQ(put_text(s, "again"), "again");
}

// Texts differing in one byte anywhere, or only in length, hash apart; the hash reads
// eight bytes at a time, then the overlapping last word.
TEST(TextStore, HashSeesEveryByte) {
  std::vector<std::string> texts = {"", "a", "abcdefg", "abcdefgh", "abcdefghi", std::string("abcdefgh\0", 9),
                                    "abcdefgi"};
  for (size_t i = 0; i < texts.size(); i++)
    for (size_t j = i + 1; j < texts.size(); j++) EXPECT_NE(text_hash(texts[i]), text_hash(texts[j])) << i << " " << j;
  std::string long_a(10000, 'L');
  for (size_t at : {0, 7, 8, 31, 32, 5001, 9991, 9992, 9999}) {
    std::string t = long_a;
    t[at] = 'M';
    EXPECT_NE(text_hash(t), text_hash(long_a)) << at;
  }
  EXPECT_NE(text_hash(long_a), text_hash(std::string_view(long_a).substr(1)));
  EXPECT_EQ(text_hash(long_a), text_hash(std::string(long_a)));
}

// Functions of a unit keep their texts in the unit's store until it is assembled;
// equal texts become one define and an alias.
TEST_F(IrTest, FunctionTextsLiveInTheUnitStore) {
  Func* f = make_func(unit, "first", int_t(8), {});
  Func* g = make_func(unit, "second", int_t(8), {});
  Func* h = make_func(unit, "third", int_t(8), {});
  for (Func* fn : {f, g, h}) {
    begin(fn);
    ir_ret(ir(), fn == h ? "8" : "7", "i64");
    end(fn);
  }
  EXPECT_EQ(f->ir_text, g->ir_text);
  EXPECT_NE(h->ir_text, f->ir_text);
  EXPECT_EQ(ir()->func_texts.kept_bytes(), 2 * f->ir_text.size() + h->ir_text.size());
  std::string text = assemble();
  EXPECT_NE(text.find("@second = alias i64 (), ptr @first"), std::string::npos) << text;
  EXPECT_NE(text.find("define dso_local i64 @third()"), std::string::npos) << text;
}

}  // namespace tesk::test
