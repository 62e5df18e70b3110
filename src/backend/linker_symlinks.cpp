#include "backend/linker_symlinks.h"

#include <cstdio>

#include "backend/linker.h"
#include "backend/llvm_object.h"
#include "driver/cli.h"
#include "driver/errors.h"
#include "util/fs.h"
#include "util/process.h"

namespace tesk {

SymlinkCommand linker_symlink_command(const std::string& host_os, const std::string& lld,
                                      const std::string& alias) {
  if (host_os == "win") {
    return {"mklink \"" + alias + "\" \"" + lld + "\"", {"cmd", "/c", "mklink", alias, lld}};
  }
  return {"ln -s \"" + lld + "\" \"" + alias + "\"", {"ln", "-s", lld, alias}};
}

void create_linker_symlink(const std::string& host_os, const std::string& lld, const std::string& alias) {
  if (path_exists(alias)) {
    backend_print("> Skip - Symlink already exists: " + alias);
    return;
  }
  SymlinkCommand cmd = linker_symlink_command(host_os, lld, alias);
  backend_print("> Create linker symlink: " + cmd.text);
  std::fflush(stdout);
  // Run with an argument vector: paths with blanks or quotes cannot become commands.
  // Success is judged only by the alias existing afterwards.
  run_process(cmd.argv, false);
  if (!path_exists(alias)) cli_fail("> Failed to create linker symlink: " + alias);
}

void create_linker_symlinks(const std::string& host_os) {
  std::string dir;
  if (!find_lld_dir(host_os, &dir)) cli_fail("Please install the 'lld' linker");
  if (!is_dir(dir)) cli_fail("Linker directory not found: " + dir);
  std::string ext = host_os == "win" ? ".exe" : "";
  std::string lld = path_join(dir, host_os == "win" ? "lld-link" + ext : "lld");
  if (!path_exists(lld)) cli_fail("Cannot find linker: " + lld);
  for (const char* name : {"ld.lld", "ld64.lld", "lld-link"}) {
    create_linker_symlink(host_os, lld, path_join(dir, name + ext));
  }
  log_line("✅", "Done");
}

}  // namespace tesk
