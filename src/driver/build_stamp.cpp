#include "driver/build_stamp.h"

#include <sys/stat.h>

#include <charconv>
#include <cstdio>
#include <memory>

#include "backend/linker.h"
#include "driver/errors.h"
#include "source/packages.h"
#include "source/records.h"
#include "util/fs.h"
#include "util/fs_record.h"

namespace tesk {

// What the front end of the build being recorded reads, and what it links.
struct BuildStamp {
  FsRecord inputs;
  // A build that ends early (an error its caller catches) takes its record with it:
  // util/fs must not go on writing into it.
  ~BuildStamp() {
    if (fs_recording() == &inputs) fs_record_to(nullptr);
  }
};

namespace {

constexpr std::string_view kStampHeader = "tesk-build-stamp-1";

// ---- the record file: a list of length-prefixed fields ----

void put(std::string& out, std::string_view field) {
  out += std::to_string(field.size());
  out += ':';
  out += field;
  out += '\n';
}

void put_u64(std::string& out, u64 n) { put(out, std::to_string(n)); }

struct Reader {
  std::string_view in;
  bool ok = true;

  std::string_view field() {
    size_t colon = in.find(':');
    u64 n = 0;
    if (!ok || colon == std::string_view::npos) return fail();
    auto r = std::from_chars(in.data(), in.data() + colon, n);
    if (r.ec != std::errc() || r.ptr != in.data() + colon || n > in.size() - colon - 1 ||
        colon + 1 + n >= in.size() || in[colon + 1 + n] != '\n') {
      return fail();
    }
    std::string_view f = in.substr(colon + 1, n);
    in.remove_prefix(colon + 2 + n);
    return f;
  }
  u64 number() {
    std::string_view f = field();
    u64 n = 0;
    auto r = std::from_chars(f.data(), f.data() + f.size(), n);
    if (r.ec != std::errc() || r.ptr != f.data() + f.size()) fail();
    return n;
  }
  // A count of entries that follow; every entry takes at least one field of 3 bytes.
  u64 count() {
    u64 n = number();
    if (n > in.size() / 3) fail();
    return ok ? n : 0;
  }
  std::string_view fail() {
    ok = false;
    return {};
  }
};

// The compiler itself: another compiler may write other IR for the same sources.
std::string compiler_identity() { return file_identity("/proc/self/exe"); }

// Everything of the invocation that can change the result, in one text.
std::string invocation_text(const Build* b) {
  std::string out;
  put(out, current_dir());
  put(out, terminal_shows_icons() ? "1" : "0");
  put_u64(out, b->command_line.size());
  for (const std::string& a : b->command_line) put(out, a);
  return out;
}

// Only a plain command-line build that makes an executable is recorded and replayed:
// the watcher, the language server, documentation and --ir builds always run.
bool stamp_applies(const Build* b) {
  return !b->lsp && !b->watch_mode && b->mode == BUILD_EXECUTABLE && !b->clean;
}

// The record of the last build, when all of it still holds: the same compiler and
// invocation, every probe of the front end answered as before, and the objects and
// their stamps untouched since. Fills the link inputs and the output to replay.
struct Replay {
  std::string printed;
  std::vector<std::string> warnings;
  std::vector<std::string> objects;
  std::vector<LinkLibrary> links;
  std::vector<std::pair<std::string, u64>> packages;  // directory, link level
  std::vector<std::string> package_configs;           // tesk.json path, or ""
};

bool read_replay(const Build* b, const std::string& text, Replay* r) {
  Reader in{text};
  if (in.field() != kStampHeader || !in.ok) return false;
  if (in.field() != compiler_identity() || !in.ok) return false;
  if (in.field() != invocation_text(b) || !in.ok) return false;
  for (u64 n = in.count(); n > 0 && in.ok; n--) {
    std::string_view kind = in.field();
    std::string path(in.field());
    std::string_view answer = in.field();
    if (!in.ok || kind.size() != 1 || fs_probe_answer(kind[0], path) != answer) return false;
  }
  for (u64 n = in.count(); n > 0 && in.ok; n--) {
    std::string o_path(in.field());
    std::string_view o_id = in.field();
    std::string prev_path(in.field());
    std::string_view prev_id = in.field();
    if (!in.ok || file_identity(o_path) != o_id || file_identity(prev_path) != prev_id) return false;
    r->objects.push_back(std::move(o_path));
  }
  for (u64 n = in.count(); n > 0 && in.ok; n--) {
    std::string dir(in.field());
    u64 level = in.number();
    r->packages.emplace_back(std::move(dir), level);
    r->package_configs.emplace_back(in.field());
  }
  for (u64 n = in.count(); n > 0 && in.ok; n--) {
    u64 kind = in.number();
    r->links.push_back(LinkLibrary{kind, std::string(in.field())});
  }
  r->printed = std::string(in.field());
  for (u64 n = in.count(); n > 0 && in.ok; n--) r->warnings.emplace_back(in.field());
  return in.ok && in.in.empty();
}

// The link of the recorded build, with today's file system (libraries are looked up
// again, as Stage 4 always does).
void link_replayed(Build* b, Replay& r) {
  if (b->mode == BUILD_IR) return;
  LinkInputs in = link_inputs(b);
  in.objects = r.objects;
  in.links.clear();
  for (const LinkLibrary& lib : r.links) in.links.push_back(&lib);
  in.packages.clear();
  for (size_t i = 0; i < r.packages.size(); i++) {
    JsonValue* config = nullptr;
    if (!r.package_configs[i].empty()) {
      ConfigResult c = read_json_file(b, r.package_configs[i]);
      if (c.config) config = c.config->json.get();
    }
    in.packages.push_back(LinkPackage{r.packages[i].first, r.packages[i].second, config});
  }
  link_with_inputs(b, in);
}

}  // namespace

std::string stamp_path(const Build* b) { return path_join(b->cache_dir, "build.stamp"); }

bool stamp_replay(Build* b) {
  // At -v and above a build reports its stages' times and counts: it runs them.
  if (!stamp_applies(b) || b->verbose != 0) return false;
  std::optional<std::string> text = read_file(stamp_path(b));
  Replay r;
  if (!text || !read_replay(b, *text, &r)) return false;
  std::fwrite(r.printed.data(), 1, r.printed.size(), stdout);
  b->printed = std::move(r.printed);
  link_replayed(b, r);
  for (std::string& w : r.warnings) b->messages.push_back(BuildMessage{MSG_WARNING, std::move(w)});
  return true;
}

void stamp_begin(Build* b) {
  // Builds that may replace objects hold the cache directory; the record must not
  // outlive the objects it names.
  if (b->lsp || b->mode == BUILD_DOCS) return;
  std::string path = stamp_path(b);
  if (!remove_file(path)) build_error(b, "Failed to remove: " + path);
  if (stamp_applies(b)) {
    b->stamp = std::make_shared<BuildStamp>();
    fs_record_to(&b->stamp->inputs);
  }
}

void stamp_end_front_end(Build* b) {
  if (b->stamp && fs_recording() == &b->stamp->inputs) fs_record_to(nullptr);
}

void stamp_write(Build* b) {
  if (!b->stamp) return;
  stamp_end_front_end(b);
  std::string out;
  put(out, kStampHeader);
  put(out, compiler_identity());
  put(out, invocation_text(b));
  const std::vector<FsProbe>& probes = b->stamp->inputs.probes();
  put_u64(out, probes.size());
  for (const FsProbe& p : probes) {
    put(out, std::string_view(&p.kind, 1));
    put(out, p.path);
    put(out, p.answer);
  }
  LinkInputs in = link_inputs(b);
  std::vector<Unit*> used;
  for (Unit* u : b->units)
    if (u->used) used.push_back(u);
  put_u64(out, used.size());
  for (Unit* u : used) {
    std::string o_id = file_identity(u->o_path);
    std::string prev_id = file_identity(u->prev_ir_path);
    // A unit without its object or stamp is compiled again next time: nothing to record.
    if (o_id == "-" || prev_id == "-") return;
    put(out, u->o_path);
    put(out, o_id);
    put(out, u->prev_ir_path);
    put(out, prev_id);
  }
  put_u64(out, b->packages.size());
  for (auto& [dir, pkg] : b->packages) {
    put(out, dir);
    put_u64(out, pkg->link_level);
    put(out, pkg->config ? std::string_view(pkg->config->path) : std::string_view());
  }
  put_u64(out, in.links.size());
  for (const LinkLibrary* lib : in.links) {
    put_u64(out, lib->kind);
    put(out, lib->name);
  }
  put(out, b->printed);
  u64 warnings = 0;
  for (const BuildMessage& m : b->messages)
    if (m.type == MSG_WARNING) warnings++;
  put_u64(out, warnings);
  for (const BuildMessage& m : b->messages)
    if (m.type == MSG_WARNING) put(out, m.message);
  // A record that cannot be written only costs the next build its shortcut.
  write_file_atomic(stamp_path(b), out);
}

}  // namespace tesk
