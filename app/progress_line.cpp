#include "app/progress_line.h"

#include <cstdio>

#include "platform/terminal.h"

namespace tandrel {
namespace {

// "12.3 MiB": binary units, one decimal.
std::string Size(double bytes) {
    static const char* const kUnits[] = {"B", "KiB", "MiB", "GiB", "TiB", "PiB"};
    size_t unit = 0;
    while (bytes >= 1024 && unit + 1 < std::size(kUnits)) {
        bytes /= 1024;
        ++unit;
    }
    char text[32];
    std::snprintf(text, sizeof text, unit == 0 ? "%.0f %s" : "%.1f %s", bytes, kUnits[unit]);
    return text;
}

std::string Duration(double seconds) {
    const auto whole = static_cast<unsigned long long>(seconds + 0.5);
    char text[32];
    if (whole >= 3600) {
        std::snprintf(text, sizeof text, "%llu:%02llu:%02llu", whole / 3600, whole / 60 % 60,
                      whole % 60);
    } else {
        std::snprintf(text, sizeof text, "%llu:%02llu", whole / 60, whole % 60);
    }
    return text;
}

}  // namespace

ProgressLine::ProgressLine(ProgressMode mode)
    : wanted_(mode == ProgressMode::kAlways ||
              (mode == ProgressMode::kAuto && StandardErrorIsTerminal())),
      always_(mode == ProgressMode::kAlways),
      start_(Clock::now()),
      lastDrawn_(start_) {}

std::string ProgressLine::Text(uint64_t bytes, uint64_t totalBytes, uint64_t pairs,
                               uint64_t totalPairs, double seconds) {
    std::string line =
        Size(static_cast<double>(bytes)) + " of " + Size(static_cast<double>(totalBytes));
    if (totalBytes > 0) {
        const auto percent = static_cast<unsigned>(100.0 * static_cast<double>(bytes) /
                                                   static_cast<double>(totalBytes));
        line += ", " + std::to_string(percent > 100 ? 100 : percent) + "%";
    }
    if (seconds > 0) {
        const double speed = static_cast<double>(bytes) / seconds;
        line += ", " + Size(speed) + "/s";
        if (speed > 0 && totalBytes > bytes) {
            line += ", " + Duration(static_cast<double>(totalBytes - bytes) / speed) + " left";
        }
    }
    if (totalPairs > 1) {
        line += ", pair " + std::to_string(pairs) + " of " + std::to_string(totalPairs);
    }
    return line;
}

void ProgressLine::Update(uint64_t bytes, uint64_t pairs) {
    if (!wanted_) {
        return;
    }
    const Clock::time_point now = Clock::now();
    if (!shown_ && !always_ && now - start_ < std::chrono::seconds(1)) {
        return;
    }
    if (shown_ && now - lastDrawn_ < std::chrono::milliseconds(100)) {
        return;
    }
    lastDrawn_ = now;
    const double seconds = std::chrono::duration<double>(now - start_).count();
    std::string line = "\r" + Text(bytes, totalBytes_, pairs, totalPairs_, seconds);
    const size_t width = line.size() - 1;
    // Blanks over what is left of a longer line drawn before.
    if (width < shownWidth_) {
        line.append(shownWidth_ - width, ' ');
    }
    shownWidth_ = width;
    shown_ = true;
    WriteStandardError(line.data(), line.size());
}

void ProgressLine::Erase() {
    if (!shown_) {
        return;
    }
    std::string blank = "\r" + std::string(shownWidth_, ' ') + "\r";
    WriteStandardError(blank.data(), blank.size());
    shown_ = false;
    shownWidth_ = 0;
}

}  // namespace tandrel
