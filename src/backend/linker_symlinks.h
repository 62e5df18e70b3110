#pragma once
// `tesk linker-symlinks`: the names under which lld is started for each target.
#include <string>
#include <vector>

namespace tesk {

// The command that makes one alias of lld, as shown and as run.
struct SymlinkCommand {
  std::string text;
  std::vector<std::string> argv;
};
SymlinkCommand linker_symlink_command(const std::string& host_os, const std::string& lld,
                                      const std::string& alias);

// Creates "ld.lld", "ld64.lld" and "lld-link" beside lld; failures end the process
// with "#Error: " and exit code 1.
void create_linker_symlinks(const std::string& host_os);
// One alias: skipped when present, else made and checked.
void create_linker_symlink(const std::string& host_os, const std::string& lld, const std::string& alias);

}  // namespace tesk
