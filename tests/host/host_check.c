/* A host program that uses the detector library the way an acquisition
 * station does: it loads the module at run time, resolves the 14 exports by
 * name (and on Windows by ordinal), calls each through the documented calling
 * convention and checks that the stack pointer comes back where it was, runs
 * one exposure against the frame-grabber simulator and one enhancement, and
 * writes digests of both images so that two builds can be compared bit for
 * bit.
 *
 * usage: host_check <library> <pixel-map> <gain-map> <digest-out> [<digest-reference>]
 */
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "host_checks.h"

#if defined(_WIN32)
#include <windows.h>
typedef HMODULE Module;
static Module OpenModule(const char *path) { return LoadLibraryA(path); }
static void *Symbol(Module m, const char *name) { return (void *)GetProcAddress(m, name); }
static void *SymbolByOrdinal(Module m, int ordinal) {
  return (void *)GetProcAddress(m, MAKEINTRESOURCEA(ordinal));
}
static void CloseModule(Module m) { FreeLibrary(m); }
#else
#include <dlfcn.h>
typedef void *Module;
static Module OpenModule(const char *path) { return dlopen(path, RTLD_NOW | RTLD_LOCAL); }
static void *Symbol(Module m, const char *name) { return dlsym(m, name); }
static void CloseModule(Module m) { dlclose(m); }
#endif

#define WIDTH 3072
#define HEIGHT 3072
#define PIXELS ((size_t)WIDTH * HEIGHT)
#define BORDER 40

static const char *const kExportNames[14] = {
    "Sys_Free",          "CheckSwitch",  "PanelSelect",      "RunforDetector", "LoadPixelMap",
    "LoadGainMap",       "SaveRawImage", "Sys_Allocation_1417", "CheckFrameGrabber",
    "GetTemperature",    "GetSwitchMsg", "Init_Comm",        "Enhancement",    "GetMsgLength"};

static void *g_exports[14];

#if defined(_WIN32) && defined(__i386__)
/* Pushes the arguments, calls, and measures how far the stack pointer moved:
 * a __stdcall callee removes its arguments, so the difference must be 0, and
 * a __cdecl callee leaves them, 4 bytes each. The stack pointer is restored
 * either way. */
static intptr_t MeasuredCall(void *fn, const intptr_t *args, int count, intptr_t *moved) {
  intptr_t result;
  __asm__ volatile(
      "movl %%esp, %%esi\n\t"
      "movl %[count], %%ecx\n\t"
      "1:\n\t"
      "testl %%ecx, %%ecx\n\t"
      "jz 2f\n\t"
      "pushl -4(%[args],%%ecx,4)\n\t"
      "decl %%ecx\n\t"
      "jmp 1b\n\t"
      "2:\n\t"
      "call *%[fn]\n\t"
      "movl %%esp, %%edx\n\t"
      "subl %%esi, %%edx\n\t"
      "movl %%esi, %%esp\n\t"
      : "=a"(result), "=d"(*moved)
      : [fn] "b"(fn), [args] "D"(args), [count] "m"(count)
      : "ecx", "esi", "memory", "cc");
  return result;
}

static intptr_t CallExport(int ordinal, const intptr_t *args, int count) {
  intptr_t moved = 0;
  const intptr_t result = MeasuredCall(g_exports[ordinal - 1], args, count, &moved);
  CHECK(moved == 0, "export %d (%s) moved the stack pointer by %ld bytes: wrong calling convention",
        ordinal, kExportNames[ordinal - 1], (long)moved);
  return result;
}

/* The measurement itself must be able to see a wrong convention: the
 * frame-grabber module's functions are __cdecl and leave their argument. */
static void CheckConventionProbe(void) {
  HMODULE grabber = GetModuleHandleA("PCI_FRM01.dll");
  void *setModel = grabber != NULL ? (void *)GetProcAddress(grabber, "LVDS_SetModel") : NULL;
  intptr_t model = 1, moved = 0;
  CHECK(setModel != NULL, "PCI_FRM01.dll is not loaded beside the library");
  if (setModel == NULL) return;
  MeasuredCall(setModel, &model, 1, &moved);
  CHECK(moved == -4, "a __cdecl call with one argument should leave 4 bytes on the stack, moved %ld", (long)moved);
}
#else
static void CheckConventionProbe(void) {}
typedef intptr_t (*Fn0)(void);
typedef intptr_t (*Fn1)(intptr_t);
typedef intptr_t (*Fn2)(intptr_t, intptr_t);
typedef intptr_t (*Fn6)(intptr_t, intptr_t, intptr_t, intptr_t, intptr_t, intptr_t);
static intptr_t CallExport(int ordinal, const intptr_t *a, int count) {
  void *fn = g_exports[ordinal - 1];
  switch (count) {
    case 0: return ((Fn0)fn)();
    case 1: return ((Fn1)fn)(a[0]);
    case 2: return ((Fn2)fn)(a[0], a[1]);
    default: return ((Fn6)fn)(a[0], a[1], a[2], a[3], a[4], a[5]);
  }
}
#endif

static int32_t Call0(int ordinal) { return (int32_t)CallExport(ordinal, NULL, 0); }
static int32_t Call1(int ordinal, intptr_t a) { return (int32_t)CallExport(ordinal, &a, 1); }
static int32_t Call2(int ordinal, intptr_t a, intptr_t b) {
  intptr_t args[2] = {a, b};
  return (int32_t)CallExport(ordinal, args, 2);
}
static uint16_t *CallImage(void) { return (uint16_t *)CallExport(7, NULL, 0); }

enum {
  kSysFree = 1, kCheckSwitch, kPanelSelect, kRunforDetector, kLoadPixelMap, kLoadGainMap,
  kSaveRawImage, kSysAllocation, kCheckFrameGrabber, kGetTemperature, kGetSwitchMsg,
  kInitComm, kEnhancement, kGetMsgLength
};


static void ResolveExports(Module module) {
  int i;
  for (i = 0; i < 14; ++i) {
    g_exports[i] = Symbol(module, kExportNames[i]);
    CHECK(g_exports[i] != NULL, "export %s not found by name", kExportNames[i]);
#if defined(_WIN32)
    CHECK(SymbolByOrdinal(module, i + 1) == g_exports[i], "ordinal %d is not %s", i + 1,
          kExportNames[i]);
#endif
  }
}

static void CheckWithoutDetector(void) {
  CHECK(Call0(kSysFree) == -1, "Sys_Free without a detector");
  CHECK(Call0(kCheckSwitch) == -1, "CheckSwitch without a detector");
  CHECK(Call1(kPanelSelect, 1) == -1, "PanelSelect without a detector");
  CHECK(Call1(kRunforDetector, 7) == 7, "RunforDetector(7) without a detector");
  CHECK(Call2(kLoadPixelMap, (intptr_t) "x", 0) == -1, "LoadPixelMap without a detector");
  CHECK(Call2(kLoadGainMap, (intptr_t) "x", 0) == -1, "LoadGainMap without a detector");
  CHECK(CallImage() == NULL, "SaveRawImage without a detector");
  CHECK(Call0(kCheckFrameGrabber) == -1, "CheckFrameGrabber without a detector");
  CHECK(Call0(kGetTemperature) == -1, "GetTemperature without a detector");
  CHECK(Call1(kGetSwitchMsg, 5) == 0, "GetSwitchMsg without a detector");
  CHECK(Call0(kInitComm) == -1, "Init_Comm without a detector");
  CHECK(Call0(kGetMsgLength) == -1, "GetMsgLength without a detector");
  {
    intptr_t args[6] = {0, 0, 5, 10, 3, 10};
    CHECK((int32_t)CallExport(kEnhancement, args, 6) == -1, "Enhancement without a detector");
  }
}

static int RunExposure(const char *pixelMap, const char *gainMap, uint64_t *corrected,
                       uint64_t *enhanced) {
  uint16_t *image, *source, *destination;
  size_t r, c;
  int borderWhite = 1, inRange = 1;
  intptr_t args[6];

  CHECK(Call0(kSysAllocation) == 1, "Sys_Allocation_1417");
  CHECK(Call0(kSysAllocation) == -1, "second Sys_Allocation_1417");
  CHECK(Call0(kCheckFrameGrabber) == 1, "CheckFrameGrabber against the simulator");
  CHECK(Call0(kGetMsgLength) == 64, "GetMsgLength");
  CHECK(Call1(kPanelSelect, 1) == 1, "PanelSelect(1)");
  CHECK(Call1(kPanelSelect, 2) == 1, "PanelSelect(2) keeps panel 1");
  CHECK(Call1(kPanelSelect, -1) == 1, "PanelSelect(-1) keeps panel 1");
  CHECK(Call1(kPanelSelect, 0) == 0, "PanelSelect(0)");
  CHECK(Call2(kLoadPixelMap, (intptr_t) "no-such-file.bin", 0) == 0, "LoadPixelMap of a missing file");
  CHECK(Call2(kLoadGainMap, (intptr_t)NULL, 0) == 0, "LoadGainMap of a null path");
  CHECK(Call2(kLoadPixelMap, (intptr_t)pixelMap, 0) == 1, "LoadPixelMap %s", pixelMap);
  CHECK(Call2(kLoadGainMap, (intptr_t)gainMap, 0) == 1, "LoadGainMap %s", gainMap);
  CHECK(Call2(kLoadPixelMap, (intptr_t)pixelMap, 1) == 1, "LoadPixelMap for panel 1");
  CHECK(Call2(kLoadGainMap, (intptr_t)gainMap, 1) == 1, "LoadGainMap for panel 1");

  image = CallImage();
  CHECK(image != NULL, "SaveRawImage with a detector");
  if (image == NULL) return 0;
  CHECK(Call1(kRunforDetector, 2) == 0, "acquire without arming");
  CHECK(Call1(kRunforDetector, 1) == 1, "arm");
  CHECK(Call1(kRunforDetector, 1) == 0, "arm twice");
  CHECK(Call1(kRunforDetector, 2) == 1, "acquire");
  CHECK(Call1(kRunforDetector, 2) == 0, "second acquire of one arming");
  CHECK(CallImage() == image, "SaveRawImage keeps its address");

  for (r = 0; r < HEIGHT; ++r)
    for (c = 0; c < WIDTH; ++c) {
      const uint16_t v = image[r * WIDTH + c];
      if (v > 16383) inRange = 0;
      if ((r < BORDER || r >= HEIGHT - BORDER || c < BORDER || c >= WIDTH - BORDER) && v != 16383)
        borderWhite = 0;
    }
  CHECK(inRange, "corrected pixels lie in 0..16383");
  CHECK(borderWhite, "the 40-pixel border is 16383");
  *corrected = Digest(image, PIXELS);

  CHECK(Call0(kCheckSwitch) == -1, "CheckSwitch with a detector");
  CHECK(Call1(kGetSwitchMsg, 64) == 0, "GetSwitchMsg(64)");
  CHECK(Call0(kInitComm) == -1, "Init_Comm with a detector");

  source = (uint16_t *)malloc(PIXELS * sizeof *source);
  destination = (uint16_t *)malloc(PIXELS * sizeof *destination);
  CHECK(source != NULL && destination != NULL, "memory for the enhancement's images");
  if (source == NULL || destination == NULL) {
    free(source);
    free(destination);
    Call0(kSysFree);
    return 0;
  }
  memcpy(source, image, PIXELS * sizeof *source);
  memset(destination, 0, PIXELS * sizeof *destination);
  args[0] = (intptr_t)source;
  args[1] = (intptr_t)destination;
  args[2] = 5;
  args[3] = 10;
  args[4] = 3;
  args[5] = 10;
  CHECK((int32_t)CallExport(kEnhancement, args, 6) == 1, "Enhancement");
  *enhanced = Digest(destination, PIXELS);
  args[0] = 0;
  CHECK((int32_t)CallExport(kEnhancement, args, 6) == 0, "Enhancement of a null source");
  free(source);
  free(destination);

  CHECK(Call0(kSysFree) == 1, "Sys_Free");
  CHECK(Call0(kSysFree) == -1, "second Sys_Free");
  return 1;
}

int main(int argc, char **argv) {
  Module module;
  uint64_t corrected = 0, enhanced = 0;
  FILE *out;

  if (argc < 5) {
    fprintf(stderr, "usage: %s <library> <pixel-map> <gain-map> <digest-out> [<digest-reference>]\n",
            argv[0]);
    return 2;
  }
  module = OpenModule(argv[1]);
  if (module == NULL) {
    fprintf(stderr, "cannot load %s\n", argv[1]);
    return 1;
  }
  ResolveExports(module);
  if (g_failures != 0) return 1;
  CheckConventionProbe();
  CheckWithoutDetector();
  CHECK(RunExposure(argv[2], argv[3], &corrected, &enhanced), "the exposure ran to its end");
  CloseModule(module);

  out = fopen(argv[4], "w");
  if (out == NULL) {
    fprintf(stderr, "cannot write %s\n", argv[4]);
    return 1;
  }
  fprintf(out, "corrected %016llx\nenhanced %016llx\n", (unsigned long long)corrected,
          (unsigned long long)enhanced);
  fclose(out);
  printf("corrected %016llx\nenhanced %016llx\n", (unsigned long long)corrected,
         (unsigned long long)enhanced);

  if (argc > 5) {
    char expected[256] = {0}, actual[256] = {0};
    FILE *ref = fopen(argv[5], "r");
    CHECK(ref != NULL, "cannot read reference digests %s", argv[5]);
    if (ref != NULL) {
      size_t n = fread(expected, 1, sizeof expected - 1, ref);
      expected[n] = 0;
      fclose(ref);
      snprintf(actual, sizeof actual, "corrected %016llx\nenhanced %016llx\n",
               (unsigned long long)corrected, (unsigned long long)enhanced);
      CHECK(strcmp(expected, actual) == 0, "images differ from the reference build:\n%s---\n%s",
            expected, actual);
    }
  }
  if (g_failures != 0) {
    fprintf(stderr, "%d check(s) failed\n", g_failures);
    return 1;
  }
  printf("all host checks passed\n");
  return 0;
}
