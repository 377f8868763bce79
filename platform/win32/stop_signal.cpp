#include "platform/stop_signal.h"

namespace tandrel {

void CatchStopSignals() {}

int StopSignal() {
    return 0;
}

void EndBySignal(int) {}

}  // namespace tandrel
