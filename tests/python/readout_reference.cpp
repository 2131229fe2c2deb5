// References for the Python package's tests, from the project's own code:
//   readout_reference frame INDEX RAW_OUT IMAGE_OUT
//     simulated raw frame INDEX, and the plain readout's image of it (into a
//     cleared image; 16-bit pixels in the host's byte order);
//   readout_reference digest FILE
//     the FNV-1a digest of the file's bytes, as host_check computes it over
//     an image's little-endian pixels.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "acquisition/read_frame.h"
#include "platform/dimensions.h"
#include "grabber/frame_grabber.h"
#include "simulated_panel.h"

static bool WriteFile(const char* path, const void* bytes, size_t count) {
  std::FILE* file = std::fopen(path, "wb");
  if (file == nullptr) return false;
  const bool written = std::fwrite(bytes, 1, count, file) == count;
  return std::fclose(file) == 0 && written;
}

int main(int argc, char** argv) {
  if (argc == 5 && std::strcmp(argv[1], "frame") == 0) {
    std::vector<uint8_t> raw(size_t(tavrix::kRawFrameBytes));
    pci_frm01_sim::ComposeRawFrame(raw.data(), uint32_t(std::strtoul(argv[2], nullptr, 10)));
    std::vector<uint16_t> image(tavrix::kImagePixels, 0);
    tavrix::UnscrambleFramePlain(raw.data(), image.data(), tavrix::kImageWidth, tavrix::kImageHeight);
    if (WriteFile(argv[3], raw.data(), raw.size()) && WriteFile(argv[4], image.data(), image.size() * 2)) return 0;
    std::perror("readout_reference");
    return 1;
  }
  if (argc == 3 && std::strcmp(argv[1], "digest") == 0) {
    std::FILE* file = std::fopen(argv[2], "rb");
    if (file == nullptr) {
      std::perror(argv[2]);
      return 1;
    }
    uint64_t h = 1469598103934665603ULL;
    for (int byte; (byte = std::fgetc(file)) != EOF;) h = (h ^ uint64_t(byte)) * 1099511628211ULL;
    std::fclose(file);
    std::printf("%016llx\n", static_cast<unsigned long long>(h));
    return 0;
  }
  std::fprintf(stderr, "usage: %s frame INDEX RAW_OUT IMAGE_OUT | digest FILE\n", argv[0]);
  return 2;
}
