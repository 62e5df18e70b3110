#include <malloc.h>

#include "driver/cli.h"

int main(int argc, char** argv) {
  // Every new malloc heap is mapped read-write whole, so huge pages can back it (see
  // Arena::advise_huge_pages).
  mallopt(M_TOP_PAD, 64 << 20);
  return tesk::process_main(argc, argv);
}
