// Writes the calibration maps of the simulated panel:
//   make_sim_maps <pixel-map-path> <gain-map-path>
#include <cstdio>
#include <exception>
#include <vector>

#include "files/map_files.h"
#include "simulated_panel.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: %s <pixel-map-path> <gain-map-path>\n", argv[0]);
    return 2;
  }
  std::vector<uint8_t> pixelMap(tavrix::kPixelMapBytes);
  std::vector<float> gainMap(tavrix::kImagePixels);
  pci_frm01_sim::BuildPixelMap(pixelMap.data());
  pci_frm01_sim::BuildGainMap(gainMap.data());
  try {
    tavrix_tool::WritePixelMapFile(argv[1], true, pixelMap.data());
    tavrix_tool::WriteGainMapFile(argv[2], true, gainMap.data());
  } catch (const std::exception& error) {
    std::fprintf(stderr, "make_sim_maps: %s\n", error.what());
    return 1;
  }
  std::printf("pixel map: %s\ngain map:  %s\n", argv[1], argv[2]);
  return 0;
}
