#include "device/spin_lock.h"

#include "platform/clock.h"

void CSpinLock::lock() {
    while (word_.exchange(1, std::memory_order_acquire) == 1)
        platform::Sleep(1);
}
