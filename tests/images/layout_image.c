// Linked without a C runtime: the exported function is the entry the linker looks for by default.
__declspec(dllexport) int mainCRTStartup(void) { return 42; }
