// Keyboard mnemonics for menus: each title of a menu bar and each item of a menu gets an underlined
// letter of its own (a word's first letter where it can), so every command is reachable with Alt.
#pragma once

class QMenu;
class QMenuBar;

namespace Mnemonics {

// Marks the menu bar's titles and, in every menu below it, the items. A caption that already has
// a mnemonic keeps it.
void assign(QMenuBar& bar);
// Marks the items of one menu (and its submenus).
void assign(QMenu& menu);

} // namespace Mnemonics
