// With no C runtime the linker's default entry is mainCRTStartup.
__declspec(dllexport) int Answer(void) { return 42; }
int mainCRTStartup(void) { return Answer(); }
