// Exits 0 when two stored images (TIFF or .raw) hold the same pixels, 1 and
// the first difference otherwise; the tags (times, records) do not count.
#include <cstdio>

#include "cli/command_line.h"
#include "files/image_files.h"
#include "tavrix_1417_pci_vusk.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: same_pixels IMAGE IMAGE\n");
    return 2;
  }
  try {
    const auto a = tavrix_tool::ReadImage16(argv[1], TAVRIX_IMAGE_WIDTH, TAVRIX_IMAGE_HEIGHT);
    const auto b = tavrix_tool::ReadImage16(argv[2], TAVRIX_IMAGE_WIDTH, TAVRIX_IMAGE_HEIGHT);
    for (size_t i = 0; i < a.size(); ++i)
      if (a[i] != b[i]) {
        std::fprintf(stderr, "pixel (%zu, %zu): %u and %u\n", i / TAVRIX_IMAGE_WIDTH, i % TAVRIX_IMAGE_WIDTH,
                     unsigned(a[i]), unsigned(b[i]));
        return 1;
      }
    return 0;
  } catch (const tavrix_tool::Failure& failure) {
    std::fprintf(stderr, "%s\n", failure.what());
    return 2;
  }
}
