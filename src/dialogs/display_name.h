#pragma once

#include "app/family_registry.h"

#include <string>
#include <vector>

// The name a firmware dialog calls the scanner by: the scanner's vendor and
// product text with trailing white space removed, in which each family word of
// the rows (in their order) is replaced by the row's display name. A family
// word counts only as a whole word, so "XR" does not touch "XR2" and "TORVO"
// leaves "TORVOII" to its own row.
std::string DisplayName(const std::string& modelString, const std::vector<DisplayNameRow>& rows);

// The name the processor dialogs call the scanner by: as DisplayName, but
// each family word is replaced wherever it occurs, also inside a longer word
// (letter case counts).
std::string ProcessorDisplayName(const std::string& modelString,
                                 const std::vector<DisplayNameRow>& rows);
