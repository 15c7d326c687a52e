// The game-directory globals (their comments stand in gamedir.h).
#include "gamedir.h"

std::string VekDir;   // the game directory, '/'-terminated; empty while unknown
int isVekDir = 0;     // 1 while VekDir is known
std::string gVoxaDir; // the program directory
