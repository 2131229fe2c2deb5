// Writes raw frames of a calibration scene of the simulated panel:
//   make_sim_frames SCENE FRAMES SEED FILE
// SCENE as PCI_FRM01_SIM_SCENE takes it ("dark", "flat:0.7", "phantom:0.5",
// or a schedule "dark*8,flat:0.7*8"); frame k of the file is frame k of the
// scene, exactly as the simulated frame grabber delivers it.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "calibration_scene.h"
#include "tavrix_internal.h"

int main(int argc, char** argv) {
  if (argc != 5) {
    std::fprintf(stderr, "usage: %s SCENE FRAMES SEED FILE\n", argv[0]);
    return 2;
  }
  std::vector<pci_frm01_sim::SceneStep> steps;
  std::string error;
  const long frames = std::strtol(argv[2], nullptr, 10);
  if (!pci_frm01_sim::ParseSceneSchedule(argv[1], steps, error) || frames < 1) {
    std::fprintf(stderr, "make_sim_frames: %s\n", error.empty() ? "FRAMES must be 1 or more" : error.c_str());
    return 2;
  }
  const pci_frm01_sim::CalibrationPanel panel(uint32_t(std::strtoul(argv[3], nullptr, 10)));
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(argv[4], "wb"), std::fclose);
  if (!file) {
    std::fprintf(stderr, "make_sim_frames: %s: %s\n", argv[4], std::strerror(errno));
    return 1;
  }
  std::vector<uint8_t> raw(size_t(tavrix::kRawFrameBytes));
  for (long k = 0; k < frames; ++k) {
    panel.ComposeRawFrame(pci_frm01_sim::StepOfFrame(steps, uint32_t(k)), uint32_t(k), raw.data());
    if (std::fwrite(raw.data(), 1, raw.size(), file.get()) != raw.size()) {
      std::fprintf(stderr, "make_sim_frames: %s: %s\n", argv[4], std::strerror(errno));
      return 1;
    }
  }
  if (std::fclose(file.release()) != 0) {
    std::fprintf(stderr, "make_sim_frames: %s: %s\n", argv[4], std::strerror(errno));
    return 1;
  }
  return 0;
}
