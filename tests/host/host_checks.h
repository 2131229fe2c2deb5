/* What the C host programs share: a check that counts its failures and goes
 * on, and the digest by which two builds' images are compared. */
#ifndef TAVRIX_TESTS_HOST_CHECKS_H
#define TAVRIX_TESTS_HOST_CHECKS_H

#include <stddef.h>
#include <stdint.h>
#include <stdio.h>

static int g_failures = 0;

#define CHECK(cond, ...)                                     \
  do {                                                       \
    if (!(cond)) {                                           \
      fprintf(stderr, "FAILED %s:%d: ", __FILE__, __LINE__); \
      fprintf(stderr, __VA_ARGS__);                          \
      fprintf(stderr, "\n");                                 \
      ++g_failures;                                          \
    }                                                        \
  } while (0)

/* FNV-1a over the little-endian bytes of the pixels. */
static inline uint64_t Digest(const uint16_t *pixels, size_t count) {
  uint64_t h = 1469598103934665603ULL;
  size_t i;
  for (i = 0; i < count; ++i) {
    h = (h ^ (pixels[i] & 0xFFu)) * 1099511628211ULL;
    h = (h ^ (pixels[i] >> 8)) * 1099511628211ULL;
  }
  return h;
}

#endif
