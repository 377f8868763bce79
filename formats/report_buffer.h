// The process-wide scratch text that comparisons and Save result share, one at a time.
#pragma once

#include <cstddef>

namespace tandrel {

inline constexpr size_t kReportBufferSize = 300000;

// Allocated on first use and kept until the process ends; null only if that allocation failed.
char* ReportBuffer();

}  // namespace tandrel
