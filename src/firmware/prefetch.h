#pragma once

// Asks the processor to bring the memory at `address` into its caches ahead
// of its use; changes nothing, and an address that is no longer valid does no
// harm. The image's records are visited in address order, which in an image
// whose file is not in address order is no order at all in memory: fetching
// the next ones while the current one is copied hides most of the waiting.
inline void Prefetch(const void* address) {
#if defined(__GNUC__)
    __builtin_prefetch(address);
#else
    (void)address;
#endif
}
