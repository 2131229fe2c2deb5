#include "detector/detector.h"

#include <cstring>

#include "grabber/frame_grabber.h"
#include "platform/allocation.h"

namespace tavrix {
namespace {

template <class T>
T** AllocateRows(int32_t rows, int32_t columns) {
  T** map = new (std::nothrow) T*[size_t(rows)]();
  if (map == nullptr) return nullptr;
  for (int32_t r = 0; r < rows; ++r) {
    map[r] = AllocateArray<T>(size_t(columns));
    if (map[r] == nullptr) return map;  // the caller sees the gap and gives up
  }
  return map;
}

template <class T>
bool RowsComplete(T** map, int32_t rows) {
  if (map == nullptr) return false;
  for (int32_t r = 0; r < rows; ++r)
    if (map[r] == nullptr) return false;
  return true;
}

}  // namespace

Detector::Detector() {
  // The engine member is constructed before this body runs.
  width = kImageWidth;
  height = kImageHeight;
  mapWidth = kMapWidth;
  mapHeight = kMapHeight;
  temperature = 0;
  busy = 0;
  armed = 0;
  grabberOpen = 0;
  OpenFrameGrabber();
  messageLength = kMessageLength;
  panel = 0;
  complete_ = engine.IsComplete() && AllocateBuffers();
}

bool Detector::AllocateBuffers() {
  image = AllocateArray<uint16_t>(kImagePixels);
  if (image == nullptr) return false;
  rawFrame = AllocateArray<uint8_t>(kRawFrameBufferBytes);
  if (rawFrame == nullptr) return false;
  for (int32_t p = 0; p < kPanelCount; ++p) {
    gainMaps[p] = AllocateRows<float>(height, width);
    if (!RowsComplete(gainMaps[p], height)) return false;
    pixelMaps[p] = AllocateRows<uint8_t>(mapHeight, mapWidth);
    if (!RowsComplete(pixelMaps[p], mapHeight)) return false;
  }
  for (int32_t p = 0; p < kPanelCount; ++p) ResetPixelMap(pixelMaps[p]);
  for (int32_t p = 0; p < kPanelCount; ++p) ResetGainMap(gainMaps[p]);
  rxBuffer = AllocateArray<uint8_t>(kRxBufferBytes);
  if (rxBuffer == nullptr) return false;

  // Every buffer starts with a defined content: the middle columns that the
  // readout never writes, and the serial bytes beyond the message, stay 0.
  std::memset(image, 0, kImagePixels * sizeof *image);
  std::memset(rawFrame, 0, kRawFrameBufferBytes);
  std::memset(rxBuffer, 0, kRxBufferBytes);
  return true;
}

bool Detector::IsComplete() const { return complete_; }

Detector::~Detector() {
  ReleaseBuffers();
  CloseFrameGrabber();
  // The engine member is destroyed after this body.
}

void Detector::ReleaseBuffers() {
  // A row pointer array whose allocation stopped part-way holds nulls.
  for (int32_t r = 0; r < mapHeight; ++r)
    for (int32_t p = 0; p < kPanelCount; ++p)
      if (pixelMaps[p] != nullptr) ReleaseArray(pixelMaps[p][r]);
  for (int32_t p = 0; p < kPanelCount; ++p) ReleaseArray(pixelMaps[p]);
  for (int32_t r = 0; r < height; ++r)
    for (int32_t p = 0; p < kPanelCount; ++p)
      if (gainMaps[p] != nullptr) ReleaseArray(gainMaps[p][r]);
  for (int32_t p = 0; p < kPanelCount; ++p) ReleaseArray(gainMaps[p]);
  ReleaseArray(image);
  ReleaseArray(rawFrame);
  ReleaseArray(rxBuffer);
}

void Detector::OpenFrameGrabber() { grabberOpen = tavrix::OpenFrameGrabber() ? 1 : 0; }

void Detector::CloseFrameGrabber() { tavrix::CloseFrameGrabber(); }

int32_t Detector::PanelSelect(int32_t newPanel) {
  if (newPanel == 0 || newPanel == 1) panel = newPanel;
  return panel;
}

void Detector::Enhance(uint16_t* source, uint16_t* destination, int32_t levels, int32_t strength,
                       int32_t smoothingRadius, int32_t smoothingDecay) {
  engine.Enhance(source, destination, levels, strength, smoothingRadius, smoothingDecay, width, height);
}

}  // namespace tavrix
