#pragma once

#include "platform/still_image.h"

#include <functional>

// This layer's Still Image interfaces and the system's COM ones (IStillImageW
// and IStiDevice of <sti.h>, with their vtable order and calling convention),
// each wrapped as the other. A COM interface is handed over as a void*.
namespace platform::native {

// The system's COM IStillImageW `com` as this layer's interface, taking over
// the reference the caller holds; the devices it creates are wrapped alike.
// `released` runs once the wrapper and every device made through it are
// released (after the COM interfaces are).
IStillImageW* ImportStillImage(void* com, std::function<void()> released = {});

// This layer's `service` as a COM IStillImageW, taking over the caller's
// reference; the devices it creates are COM IStiDevice objects.
// `released` runs once the COM object and every device made through it are
// released (after `service` is).
void* ExportStillImage(IStillImageW* service, std::function<void()> released = {});

} // namespace platform::native
