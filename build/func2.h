// The installer build: path checks, installer configuration, archives and the output file.
#pragma once
#include <windows.h>

// The build button (411). True when a whole installer was written (not cancelled, no failure).
bool BtnZastosuj();
bool SprawdzSciezki();                // all path fields acceptable, else the path message was shown
bool SprawdzSciezke(const char* path);// "X:\..." and existing, else the path message was shown
void MakeRcBin();                     // assembles "rc.bin" and the output installer
void DoklejPlik(const char* path, HANDLE dest);  // appends a file with progress and cancel checks
