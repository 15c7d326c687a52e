// The game directory and the program directory: the globals that the rest of the program reads.
#pragma once

#include <string>

// The game's installation directory: a native absolute path ending with '/', empty while unknown. Written by the
// game-directory search at start-up and by the folder chooser; read by the catalogue loader, the dialogs, the
// X-file chooser and the viewer's overlay.
extern std::string VekDir;
// 1 while VekDir names a game directory, else 0. Written with VekDir; read by the menu and the viewer's overlay.
extern int isVekDir;
// The program directory (no trailing separator): the current directory at start, where the settings file and the
// default model's "scenes/xfiles" lie. Written once at start-up; read by the viewer's fallback to the default model.
extern std::string gVoxaDir;
