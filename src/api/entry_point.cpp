// The module entry point reports success and does nothing else: loading the
// module creates no detector and unloading it releases none.
#if defined(_WIN32)
#include <windows.h>

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) { return TRUE; }
#endif
