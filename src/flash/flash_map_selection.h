#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "flash/flash_map.h"

// Which flash map the main controller of a product uses. The product is read
// from the scanner's identification text: the 28 characters of INQUIRY data
// from byte 8 on, vendor (8), product (16), revision (4).

inline constexpr std::size_t kProductOffset = 8;

// A model text matches when its first occurrence in the identification text
// starts at the product field, i.e. the product begins with it (so "SX-T25II"
// matches "SX-T25"). Case-sensitive. The same text in the vendor field hides
// a later occurrence in the product field.
bool productBeginsWith(std::string_view inquiryString, std::string_view model);

struct FlashMapRule {
    static constexpr std::size_t kMaxModels = 7;

    // The texts of the rule, unused entries left empty.
    std::array<std::string_view, kMaxModels> models{};
    std::unique_ptr<CFlashMap> (*create)() = nullptr;
    // Only for C8mFlash: where the product keeps its reserved range.
    std::optional<std::uint32_t> reservedStart;
    // The reconnect flag the map carries once chosen.
    bool reconnect = true;
    // The rule does not apply when the identification text holds this anywhere.
    std::string_view unlessContains;

    std::span<const std::string_view> modelTexts() const;
    bool matches(std::string_view inquiryString) const;
};

// All rules, in the order they are tried; the first that matches decides.
std::span<const FlashMapRule> flashMapRules();

// The deciding rule for an identification text; none when no rule matches.
const FlashMapRule* findFlashMapRule(std::string_view inquiryString);

// A fresh map for a rule, with the rule's reserved start and reconnect flag.
std::unique_ptr<CFlashMap> createFlashMap(const FlashMapRule& rule);

// The map for the product, ready to attach; empty when no rule matches.
std::unique_ptr<CFlashMap> CreateFlashMapForProduct(const std::string& inquiryString);
