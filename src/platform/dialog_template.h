#pragma once

#include <cstdint>
#include <string>
#include <vector>

// A dialog resource as data: what the resource script of a Windows program
// would say about a dialog and its controls. Sizes and positions are in
// dialog units.
namespace platform {

enum class ControlClass { Static, Button, Progress, Icon };

namespace control_style {
constexpr std::uint32_t kRightAligned = 0x0002; // SS_RIGHT
constexpr std::uint32_t kDefaultButton = 0x0001;
} // namespace control_style

namespace dialog_style {
constexpr std::uint32_t kCaption = 0x00C00000;    // WS_CAPTION
constexpr std::uint32_t kSystemMenu = 0x00080000; // WS_SYSMENU: a close box
} // namespace dialog_style

struct DialogControl {
    int id = -1; // -1: a control nobody addresses
    ControlClass kind = ControlClass::Static;
    std::string text;
    int x = 0, y = 0, width = 0, height = 0;
    std::uint32_t style = 0;
};

struct DialogTemplate {
    int id = 0;
    std::string caption;
    int width = 0, height = 0;
    std::string fontFace = "MS Sans Serif";
    int fontSize = 8;
    std::uint32_t style = dialog_style::kCaption;
    std::vector<DialogControl> controls;
};

// Stock icons (the control text of an Icon control, or a window icon).
namespace stock_icon {
constexpr const char* kWarning = "IDI_WARNING";
constexpr const char* kApplication = "IDI_APPLICATION";
} // namespace stock_icon

} // namespace platform
