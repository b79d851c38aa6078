#pragma once

#include <string>

#include "flash/flash_map_ptr.h"

// The last step of every identification of the scanner: installs the main
// controller's map for the product in `inquiryString`, deleting the previous
// one. A product we have no map for keeps the previous map (none if there
// never was one) and says "Not implemented" in a box, unless the run is quiet
// about errors.
void ChooseFlashMap(CFlashMapPtr& flashWriter, const std::string& inquiryString, bool quietErrors);
