// Project files (".kpj"): new, open, save, the close-time prompt and the command line.
#pragma once
#include <windows.h>
#include "core/buildplan.h"

void NowyProjekt();
// Opens the project named by the project file path. True when it was read whole.
bool OtworzProjekt();
// Saves the project; with save-as (or no file name yet) asks for a name first. True when written.
bool ZapiszProjekt(bool saveAs);
void EndingSave();
// Opens the project named on the command line; true when one was named and read whole.
bool ObslugaLiniiKomend();
const char* projectini();  // "Project.ini"
const char* dir();         // "dir"
void obetnijslash(int control);

// The unattended build, `/build "X:\path\project.kpj"` as the program's first argument: true when
// the command line asks for it.
bool BuildSwitchGiven();
// The program archive's kind for this run's build: --lzma or --gzip on the command line, else
// the setting.
bool BuildLzma();
// The project path given after /build: absolute with a drive letter and shorter than a path
// buffer, or empty.
const char* BuildProjectPath();
// Runs the unattended build of BuildProjectPath() without any window, message box or message
// loop (start-up guards passed, messages sent to the console): opens the project, builds it,
// empties the working folder. The exit code: 0 when a whole installer was written, else
// kBuildFailed with the reason said.
int UnattendedBuild();
// The fields of the project the unattended build opened; all empty when none is open.
BuildFields UnattendedFields();
