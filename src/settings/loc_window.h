#pragma once

#include <cstddef>
#include <string>

// What dialog translation needs of a window: its text (a dialog's caption, a
// control's label) and its direct child controls in window order. The dialog
// runtime implements it for its windows.
class CLocWindow {
public:
    virtual ~CLocWindow() = default;

    virtual std::string windowText() const = 0;
    virtual void setWindowText(const std::string& text) = 0;

    virtual std::size_t childCount() const = 0;
    // The direct child at `index` (below childCount()), owned by this window.
    virtual CLocWindow& child(std::size_t index) = 0;
};
