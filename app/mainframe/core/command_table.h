// The frame's command surface as data: menu tree, toolbar order, accelerators
// and the string-table texts. The Qt frame builds its menus from this, and the
// tests check it without a display.
#pragma once

#include <span>
#include <string>
#include <string_view>

namespace mainframe {

// id 0 marks a separator.
struct MenuEntry {
    unsigned id;
    const char* text;         // with its "&" mnemonic
    const char* accelerator;  // "Ctrl+S" or nullptr
};

struct MenuPopup {
    const char* title;
    std::span<const MenuEntry> entries;
};

// The main menu's popups in order.
std::span<const MenuPopup> MainMenu();

// Toolbar buttons in order; 0 marks a separator.
std::span<const unsigned> ToolbarLayout();

struct Accelerator {
    const char* key;  // "Ctrl+A"
    unsigned id;
};
std::span<const Accelerator> Accelerators();

// The string-table text of a command ("" when it has none).
std::string_view CommandString(unsigned id);

// Tooltip of a toolbar button: its string-table text, else its menu text
// without the mnemonic; "" for a command that has neither.
std::string ToolTipText(unsigned id);

// Menu text of a command with "(&X)", "&" and a trailing "..." removed; ""
// when the command is not in the menu.
std::string PlainMenuText(unsigned id);

}  // namespace mainframe
