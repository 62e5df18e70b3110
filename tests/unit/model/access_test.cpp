// Access levels: reading, the access matrix and its messages.
#include "model/access.h"

#include "driver/name_hash.h"
#include "world.h"

namespace tesk::test {
namespace {

TEST(Access, ReadLevels) {
  struct Case {
    const char* text;
    u64 want;          // 0: a parse error
    const char* error;
    const char* after; // the token that follows, still unread
  } cases[] = {
      {"- x", 289, nullptr, "x"},
      {"~ x", 290, nullptr, "x"},
      {"+ x", 292, nullptr, "x"},
      {"-[ns+] x", 289, nullptr, "x"},
      {"-[pkg~] x", 161, nullptr, "x"},
      {"-[ns~pkg~] x", 1 + 16 + 128, nullptr, "x"},
      {"-[ns~pkg-] x", 1 + 16 + 64, nullptr, "x"},
      {"-[pkg-pkg~] x", 1 + 32 + 128, nullptr, "x"},  // the later override wins
      {"+[ns-] x", 0, "Namespace access level cannot be less strict than the default access level", nullptr},
      {"~[pkg-] x", 0, "Package access level cannot be less strict than the default access level", nullptr},
      {"-[ns~pkg+] x", 0, "Package access level cannot be less strict than the namespace access level", nullptr},
      {"-[xy+] x", 0, "Expected 'ns', 'pkg' or ']'. Found: 'xy'", nullptr},
      {"-[ns*] x", 0, "Expected '+' (public), '~' (read-only) or '-' (private). Found: '*'", nullptr},
      {"-[ns+ pkg+] x", 0, "Expected 'ns', 'pkg' or ']'. Found: ''", nullptr},
      {"* x", 0, "Expected '+' (public), '~' (read-only) or '-' (private). Found: '*'", nullptr},
  };
  for (const Case& c : cases) {
    World w;
    Parser* p = w.parser(c.text);
    next_token(p, true, true);
    if (c.want) {
      EXPECT_EQ(read_access_level(p), c.want) << c.text;
      next_token(p, true, true);
      EXPECT_EQ(p->token(), c.after) << c.text;
    } else {
      std::string report = parse_error_report_of([&] { read_access_level(p); });
      EXPECT_NE(report.find(c.error), std::string::npos) << c.text << "\n" << report;
    }
  }
}

TEST(Access, SignsAndPrivacy) {
  struct Case {
    AccessLevel access;
    const char* sign;
    bool is_private;
  } cases[] = {{289, "-", true}, {290, "~", false}, {292, "+", false}, {161, "-", true}, {0, "-", false}};
  for (const Case& c : cases) {
    EXPECT_EQ(access_level_sign(c.access), c.sign) << c.access;
    EXPECT_EQ(is_private_access(c.access), c.is_private) << c.access;
  }
}

TEST(Access, Matrix) {
  World w;
  // Owner in main:main; readers in the same file, another file of the namespace, another
  // namespace of the package, and another package.
  SourceFile* owner = w.main_file;
  SourceFile* same_ns = w.add_file(w.main_ns, "/pkg/main/other.tesk");
  SourceFile* same_pkg = w.util_file;
  SourceFile* other_pkg = w.net_file;
  SourceFile* ignoring = w.add_file(w.net_ns, "/pkg/web/net/ignore.tesk");
  ignoring->ignore_access = 1;
  const u32 ro = name_hash_u32("readonly");
  const u32 pv = name_hash_u32("private");
  AccessLevel ns_ro_pkg_ro = 1 + 16 + 128;
  struct Case {
    AccessLevel access;
    SourceFile* reader;
    bool write;
    u32 want;
  } cases[] = {
      {289, owner, true, 0},          {289, same_ns, true, 0},       {289, same_pkg, true, 0},
      {289, other_pkg, false, pv},    {289, ignoring, true, 0},      {290, other_pkg, false, 0},
      {290, other_pkg, true, ro},     {292, other_pkg, true, 0},     {ns_ro_pkg_ro, same_ns, false, 0},
      {ns_ro_pkg_ro, same_ns, true, ro}, {ns_ro_pkg_ro, same_pkg, true, ro}, {ns_ro_pkg_ro, other_pkg, false, pv},
      {161, same_ns, true, 0},        {161, same_pkg, false, 0},     {161, same_pkg, true, ro},
      {1, same_ns, false, pv},        {1, owner, true, 0},
  };
  for (const Case& c : cases) {
    AccessCheck r = check_access(c.reader, owner, c.access, c.write);
    EXPECT_EQ(r.code, c.want) << c.access << " " << c.reader->path << " " << c.write;
    if (c.want == ro) {
      EXPECT_EQ(r.message, "readonly");
    }
    if (c.want == pv) {
      EXPECT_EQ(r.message, "private");
    }
  }
}

TEST(Access, RequireMessages) {
  World w;
  struct Case {
    AccessLevel access;
    bool write;
    const char* what;
    const char* message;
  } cases[] = {
      {290, true, "global", "Cannot modify this global because it's defined as read-only"},
      {289, false, "function", "Cannot access this function because it's defined as private"},
      {289, true, "property", "Cannot access this property because it's defined as private"},
  };
  for (const Case& c : cases) {
    Parser* p = w.parser("x", w.net_file);
    next_token(p, true, true);
    std::string report = parse_error_report_of([&] { require_access(p, c.access, w.main_file, c.write, c.what); });
    EXPECT_NE(report.find(c.message), std::string::npos) << report;
  }
  Parser* p = w.parser("x", w.net_file);
  require_access(p, 290, w.main_file, false, "global");  // reading is allowed
  require_access(p, 289, w.net_file, true, "global");    // its own file
}

}  // namespace
}  // namespace tesk::test
