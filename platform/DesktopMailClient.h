// The desktop's registered handler of "mailto:" URLs, so that the log can
// name the program that will really open a message when the machine-wide
// registry file names none.
#pragma once

#include <string>

// The Name= of the .desktop file that
// `xdg-mime query default x-scheme-handler/mailto` answers, looked up in
// ${XDG_DATA_HOME:-~/.local/share} and ${XDG_DATA_DIRS:-/usr/local/share:/usr/share}
// under applications/. UTF-8; empty when there is none.
std::string DesktopMailClientName();
