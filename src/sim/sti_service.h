#pragma once

#include "platform/still_image.h"
#include "sim/virtual_scanner.h"

#include <memory>
#include <vector>

// The Still Image service as the virtual scanners' driver offers it: a device
// list of the scanners attached through STI that are on the bus now, and a
// device interface whose escapes carry the pass-through requests:
//   escape 1  a command block with its data. With an input size of 0 the input
//             is the 32-byte request of a 32-bit process (data and status
//             block addresses in 32-bit fields); otherwise it is the by-value
//             packet of a 32-bit process on 64-bit Windows, and the output
//             receives the status block followed by the data from the device.
//   escape 2  reads the link value (into the output when it has room for it,
//             else to the address the input gives);
//   escape 3  sets the link value (from the 4-byte input, or the input
//             argument itself when the input size is 0).
// Status block (68 bytes): a 32-bit 1 when the command completed with GOOD
// status, else 0; then the SCSI status (32-bit) and 18 bytes of sense data.
// A device interface made before the scanner last left the bus answers every
// escape with "device not connected".
namespace sim {

// Each call makes a new service instance with one reference.
platform::IStillImageW*
CreateStillImageService(std::vector<std::shared_ptr<VirtualScanner>> scanners);

// The internal name of the n-th scanner attached through STI.
std::u16string InternalDeviceName(std::size_t index);

} // namespace sim
