// The line providers' settings dialogs, as the build includes them (library kalvo_line_dialogs).
#pragma once

namespace kalvo::telephony {

// Makes each provider's dialog the one lineConfigDialog shows for that provider's lines. Call on the
// user-interface thread; a provider without a dialog keeps the editor on its configuration file.
void installLineDialogs();

} // namespace kalvo::telephony
