#include "enhancement/enhancement_engine.h"

namespace tavrix {

void EnhancementEngine::Enhance(uint16_t* source, uint16_t* destination, int32_t levels_,
                                int32_t strength_, int32_t smoothingRadius_,
                                int32_t smoothingDecay_, int32_t width_, int32_t height_) {
  // Not built yet: the run changes nothing.
  (void)source; (void)destination; (void)levels_; (void)strength_;
  (void)smoothingRadius_; (void)smoothingDecay_; (void)width_; (void)height_;
}

}  // namespace tavrix
