#include <cstdlib>
#include <cstring>

#include <unistd.h>

#include "driver/cli.h"

// Allocator settings for the compiler process.
//
// The front end touches a few hundred MB of fresh memory per million source lines. Faulted
// in 4 KB at a time, those page faults cost more than the parsing itself on virtual
// machines. glibc can back its heap with transparent huge pages and grow it in large
// steps, but reads those settings only from GLIBC_TUNABLES at start-up. So the process
// starts itself once more with them set, before any library initialiser (LLVM's) runs, and
// main() gives the environment back as the user had it, so that programs tesk runs never
// see the change.
namespace {

constexpr char kTunablesVar[] = "GLIBC_TUNABLES";
constexpr char kTunables[] = "glibc.malloc.hugetlb=1:glibc.malloc.top_pad=67108864";
// Set on the second start: "+" and the caller's GLIBC_TUNABLES, or "-" when it had none.
constexpr char kSavedVar[] = "TESK_SAVED_GLIBC_TUNABLES";

#if defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(memory_sanitizer) || __has_feature(thread_sanitizer)
#define TESK_OWN_ALLOCATOR 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define TESK_OWN_ALLOCATOR 1
#endif

// The value of `name` in `envp`, or null.
const char* env_value(char** envp, const char* name) {
  size_t n = std::strlen(name);
  for (char** e = envp; e && *e; e++)
    if (std::strncmp(*e, name, n) == 0 && (*e)[n] == '=') return *e + n + 1;
  return nullptr;
}

// Runs before every initialiser of the shared libraries; only the arguments are safe to
// read here, so the environment comes from `envp`, not getenv.
void restart_with_tunables(int, char** argv, char** envp) {
#ifndef TESK_OWN_ALLOCATOR
  if (env_value(envp, kSavedVar)) return;  // second start
  const char* user = env_value(envp, kTunablesVar);
  // Whoever sets the huge page setting themselves decides (glibc.malloc.hugetlb=0 opts out).
  if (user && std::strstr(user, "glibc.malloc.hugetlb")) return;

  size_t count = 0;
  while (envp && envp[count]) count++;
  char** env = static_cast<char**>(std::malloc((count + 3) * sizeof(char*)));
  size_t user_len = user ? std::strlen(user) : 0;
  // The caller's own tunables go last, so theirs win where both name one.
  char* tunables = static_cast<char*>(std::malloc(sizeof kTunablesVar + sizeof kTunables + user_len + 2));
  char* saved = static_cast<char*>(std::malloc(sizeof kSavedVar + user_len + 2));
  if (!env || !tunables || !saved) return;
  std::strcpy(tunables, kTunablesVar);
  std::strcat(tunables, "=");
  std::strcat(tunables, kTunables);
  std::strcpy(saved, kSavedVar);
  std::strcat(saved, user ? "=+" : "=-");
  if (user && *user) {
    std::strcat(tunables, ":");
    std::strcat(tunables, user);
    std::strcat(saved, user);
  }
  size_t k = 0;
  for (size_t i = 0; i < count; i++)
    if (!(std::strncmp(envp[i], kTunablesVar, sizeof kTunablesVar - 1) == 0 &&
          envp[i][sizeof kTunablesVar - 1] == '='))
      env[k++] = envp[i];
  env[k++] = tunables;
  env[k++] = saved;
  env[k] = nullptr;
  execve("/proc/self/exe", argv, env);
  // No /proc: carry on with the default settings.
  std::free(env);
  std::free(tunables);
  std::free(saved);
#else
  (void)argv;
  (void)envp;
#endif
}

__attribute__((section(".preinit_array"), used)) void (*const restart_entry)(int, char**, char**) =
    restart_with_tunables;

void restore_user_environment() {
  const char* saved = std::getenv(kSavedVar);
  if (!saved) return;
  if (saved[0] == '+')
    setenv(kTunablesVar, saved + 1, 1);
  else
    unsetenv(kTunablesVar);
  unsetenv(kSavedVar);
}

}  // namespace

int main(int argc, char** argv) {
  restore_user_environment();
  return tesk::process_main(argc, argv);
}
