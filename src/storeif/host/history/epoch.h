// A store's epoch: a random identifier made once, when its history is first made.
#ifndef NYR_HOST_HISTORY_EPOCH_H
#define NYR_HOST_HISTORY_EPOCH_H

#include <string>

namespace nyrhost {

// 16 bytes from the kernel's random source (getrandom(2)), as 32 lower-case hexadecimal digits.
std::string new_epoch();

}  // namespace nyrhost

#endif  // NYR_HOST_HISTORY_EPOCH_H
