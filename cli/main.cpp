#include "cli/commands.h"

#if defined(__GLIBC__)
#include <malloc.h>
#endif

int main(int argc, char** argv) {
#if defined(__GLIBC__)
  // A streamed export allocates and frees many large short-lived blocks (cut slices, decoded
  // bands). glibc raises its mmap threshold each time such a mapped block is freed, and from then
  // on serves those sizes from the heap, where freed slices stay resident; the export then holds
  // about two grid rows of slices instead of one. A fixed threshold keeps every block of 512 KiB or
  // more mapped and gives it back to the system as soon as it is freed.
  mallopt(M_MMAP_THRESHOLD, 512 * 1024);
#endif
  return tessel::cli::Main(tessel::cli::TArgs(argv + 1, argv + argc));
}
