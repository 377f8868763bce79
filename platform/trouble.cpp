#include "platform/trouble.h"

#include <cstring>

namespace tandrel {

std::string SystemReason(int error) {
    return std::strerror(error);
}

}  // namespace tandrel
