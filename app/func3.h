// Project files (".kpj"): new, open, save, the close-time prompt and the command line.
#pragma once
#include <windows.h>

void NowyProjekt();
// Opens the project named by the project file path. True when it was read whole.
bool OtworzProjekt();
// Saves the project; with save-as (or no file name yet) asks for a name first. True when written.
bool ZapiszProjekt(bool saveAs);
void EndingSave();
void ObslugaLiniiKomend();
const char* projectini();  // "Project.ini"
const char* dir();         // "dir"
void obetnijslash(int control);

// The unattended build of the command line form `/build "X:\path\project.kpj"`: true when the
// command line asks for it (the project path is then the project file path).
bool BuildSwitchGiven();
