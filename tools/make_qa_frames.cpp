// Writes raw frames of the simulated panel's imaging-physics scenes, as the
// simulated frame grabber would deliver them (PCI_FRM01_SIM_FRAMES takes the
// file); corrected with neutral maps they give the rendered images exactly.
//   make_qa_frames SCENE SEED FILE
// SCENE: edge:h:DEGREES or edge:v:DEGREES (an edge for the MTF along the rows
// or the columns, 10 uGy), flat:UGY*N, dark*N, lag:UGY (the four frames of
// the lag sequence).
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "tavrix_internal.h"
#include "imaging_physics.h"

namespace sim = pci_frm01_sim;

namespace {

using Images = std::vector<std::vector<uint16_t>>;

bool ParseNumber(const std::string& text, double& value) {
  char* end = nullptr;
  value = std::strtod(text.c_str(), &end);
  return !text.empty() && *end == '\0';
}

// Count after '*' (1 when absent); false when malformed.
bool SplitCount(std::string& scene, long& count) {
  count = 1;
  const size_t star = scene.find('*');
  if (star == std::string::npos) return true;
  char* end = nullptr;
  count = std::strtol(scene.c_str() + star + 1, &end, 10);
  scene.resize(star);
  return *end == '\0' && count >= 1 && count <= 1000;
}

bool Render(std::string scene, uint32_t seed, Images& images) {
  const sim::ImagingModel model;
  long count = 1;
  if (!SplitCount(scene, count)) return false;
  double value = 0.0;
  if (scene.rfind("edge:", 0) == 0 && scene.size() > 7 && (scene[5] == 'h' || scene[5] == 'v') && scene[6] == ':' &&
      ParseNumber(scene.substr(7), value)) {
    sim::EdgeScene edge;
    edge.direction = scene[5] == 'h' ? sim::EdgeDirection::kHorizontal : sim::EdgeDirection::kVertical;
    edge.angleDegrees = value;
    images.push_back(sim::RenderEdge(model, edge, seed));
  } else if (scene.rfind("flat:", 0) == 0 && ParseNumber(scene.substr(5), value) && value > 0.0) {
    for (long k = 0; k < count; ++k) images.push_back(sim::RenderFlat(model, seed, uint32_t(k), value));
  } else if (scene == "dark") {
    for (long k = 0; k < count; ++k) images.push_back(sim::RenderDark(model, seed, uint32_t(k)));
  } else if (scene.rfind("lag:", 0) == 0 && ParseNumber(scene.substr(4), value) && value > 0.0) {
    images = sim::RenderLagSequence(model, seed, value);
  } else {
    return false;
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  Images images;
  if (argc != 4 || !Render(argv[1], uint32_t(std::strtoul(argv[2], nullptr, 10)), images)) {
    std::fprintf(stderr, "usage: %s SCENE SEED FILE\n  SCENE: edge:h:DEGREES, edge:v:DEGREES, flat:UGY*N, dark*N, lag:UGY\n",
                 argv[0]);
    return 2;
  }
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(argv[3], "wb"), std::fclose);
  if (!file) {
    std::fprintf(stderr, "make_qa_frames: %s: %s\n", argv[3], std::strerror(errno));
    return 1;
  }
  std::vector<uint8_t> raw(size_t(tavrix::kRawFrameBytes));
  for (const auto& image : images) {
    sim::ImageToRawFrame(image.data(), raw.data());
    if (std::fwrite(raw.data(), 1, raw.size(), file.get()) != raw.size()) {
      std::fprintf(stderr, "make_qa_frames: %s: %s\n", argv[3], std::strerror(errno));
      return 1;
    }
  }
  if (std::fclose(file.release()) != 0) {
    std::fprintf(stderr, "make_qa_frames: %s: %s\n", argv[3], std::strerror(errno));
    return 1;
  }
  return 0;
}
