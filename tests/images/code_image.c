// Linked without a C runtime. The entry holds a conditional jump and a call that the
// instruction tests change in a copy; the data section holds bytes that look like code.
__attribute__((noinline)) static int Twice(volatile int* value) { return *value * 2; }

const unsigned char kLooksLikeCode[16] = {0x33, 0xC0, 0xB0, 0x01, 0x75, 0x10, 0xC3};
volatile int kept = 7;

__declspec(dllexport) int mainCRTStartup(void) {
    if (kept == 7) {
        return Twice(&kept) + kLooksLikeCode[kept & 7];
    }
    return 3;
}
