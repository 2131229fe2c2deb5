// Log mapping: 14-bit linear intensities onto a 14-bit logarithmic scale.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tavrix {

// Every 16-bit value has its own entry in a log-map table.
constexpr size_t kLogMapTableSize = 65536;
// Values a log-map table can hold: 0 to LogMapValue(65535), its largest.
constexpr size_t kLogMapValueCount = 18724;

// ln(v + 1) / ln 16384 * 16384 - 1, truncated: 1 -> 1169, 16383 -> 16383,
// 65535 -> 18723. A source of 0 maps to 0 rather than to -1, which a 16-bit
// pixel cannot hold.
uint16_t LogMapValue(uint16_t value);

// Fills table[kLogMapTableSize] with LogMapValue of every index.
void BuildLogMapTable(uint16_t* table);

// destination[i] = table[source[i]] for pixelCount pixels.
void LogMapImage(const uint16_t* source, uint16_t* destination, size_t pixelCount,
                 const uint16_t* table);

}  // namespace tavrix
