/* A dialog module as someone else could plant it: loading it leaves a marker file, at the path
   TANDREL_PLANTED_MARKER names, before any check of its entry could run. */
#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include "tandrel_version.h"

#ifndef PLANTED_ENTRY
#define PLANTED_ENTRY "TandrelRunDialog_" TANDREL_VERSION_SYMBOL
#endif

__attribute__((constructor)) static void LeaveMarker(void) {
    const char* marker = getenv("TANDREL_PLANTED_MARKER");
    close(open(marker != NULL ? marker : "/dev/null", O_WRONLY | O_CREAT | O_CLOEXEC, 0600));
}

int RunDialog(int argc, char** argv) __asm__(PLANTED_ENTRY);
int RunDialog(int argc, char** argv) {
    return argc < 0 && argv != NULL; /* 0, as a dialog that was shown and closed */
}
