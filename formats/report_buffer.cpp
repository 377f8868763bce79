#include "formats/report_buffer.h"

#include <cstdlib>

namespace tandrel {

char* ReportBuffer() {
    // Never freed: it lives, like the font and the icon, until the process ends.
    static char* const buffer = static_cast<char*>(std::calloc(kReportBufferSize, 1));
    return buffer;
}

}  // namespace tandrel
