// The web page beside the main window: started as the settings say, with the window's list and
// player taking the page's changes so both stay in step; and "--set-web-password".
#pragma once

#include <QString>
#include <cstdio>
#include <memory>

class WebAccess;
class frmMain;

namespace WebStart {

// Creates the web page for form and starts it when "WebAccess" asks for it.
std::unique_ptr<WebAccess> start(frmMain& form);

// Reads a new web password from in (one line; the terminal does not echo it) and stores it for
// programFolder. @return the exit status: 0 stored, 1 refused or not stored.
int setPassword(const QString& programFolder, std::FILE* in, std::FILE* out, std::FILE* err);

} // namespace WebStart
