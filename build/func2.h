// The installer build of the program: the build button and the path fields' checks.
#pragma once
#include <windows.h>

// The build button (411). True when a whole installer was written (not cancelled, no failure).
bool BtnZastosuj();
bool SprawdzSciezki();                // all path fields acceptable, else the path message was shown
bool SprawdzSciezke(const char* path);// "X:\..." and existing, else the path message was shown
