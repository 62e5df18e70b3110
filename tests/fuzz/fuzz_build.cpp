// libFuzzer entry: every input is one source file, built in-process from scratch up to
// the IR text. Parse and build errors are expected outcomes; a crash, a sanitizer
// report, a hang or an exception that leaves the build is a finding.
#include <stdlib.h>
#include <unistd.h>
#include <fcntl.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "driver/build_driver.h"
#include "driver/errors.h"
#include "driver/options.h"
#include "util/errors.h"
#include "util/fs.h"
#include "util/stack.h"

namespace {

std::string g_dir;

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  using namespace tesk;
  set_exit_throws(true);
  char tmpl[] = "/tmp/tesk-fuzz-XXXXXX";
  if (!::mkdtemp(tmpl)) {
    std::perror("mkdtemp");
    std::abort();
  }
  g_dir = tmpl;
  // The object cache goes under HOME: keep it private to this run.
  ::setenv("HOME", g_dir.c_str(), 1);
  // Error reports of the inputs would drown the fuzzer's own log on stderr.
  int null_fd = ::open("/dev/null", O_WRONLY);
  if (null_fd >= 0) ::dup2(null_fd, STDOUT_FILENO);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace tesk;
  const std::string src = g_dir + "/input.tesk";
  if (!write_file(src, std::string_view(reinterpret_cast<const char*>(data), size))) std::abort();
  // The words after `tesk build`.
  std::vector<std::string> args{src, "--ir", "-o", g_dir + "/out.ll"};
  run_with_stack(kFrontEndStackBytes, [&] {
    try {
      BuildArgsResult r = parse_build_args(args);
      if (r.build) run_build(r.build.get());
    } catch (const ExitRequest&) {
    } catch (const NamedError&) {
    }
  });
  return 0;
}
