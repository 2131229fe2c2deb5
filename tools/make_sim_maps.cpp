// Writes the calibration maps of the simulated panel:
//   make_sim_maps <pixel-map-path> <gain-map-path>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "simulated_panel.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: %s <pixel-map-path> <gain-map-path>\n", argv[0]);
    return 2;
  }
  if (!pci_frm01_sim::WritePixelMapFile(argv[1])) {
    std::fprintf(stderr, "make_sim_maps: cannot write the pixel map %s: %s\n", argv[1], std::strerror(errno));
    return 1;
  }
  if (!pci_frm01_sim::WriteGainMapFile(argv[2])) {
    std::fprintf(stderr, "make_sim_maps: cannot write the gain map %s: %s\n", argv[2], std::strerror(errno));
    return 1;
  }
  std::printf("pixel map: %s\ngain map:  %s\n", argv[1], argv[2]);
  return 0;
}
