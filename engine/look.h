// The look the installer and the uninstaller share: a white header band with title, subtitle and
// emblem on inner pages, a drawn picture down the left side of the first and last pages.
#pragma once
#include <windows.h>

// Fonts and brush of one dialog; made by LookInit, freed by LookFree.
struct Look {
  HFONT bold = nullptr;   // header title
  HFONT large = nullptr;  // title beside the side picture
  HBRUSH white = nullptr;
  bool side = false;      // the current page has the side picture (else the header band)
  // Where the white ends, in dialog units: the header band's etched line, the line over the buttons.
  int headerEnd = 36, sideEnd = 186;
};

// Makes the fonts from the dialog's own (so that they follow its DPI) and gives the title its font.
void LookInit(HWND dlg, Look* look);
void LookFree(Look* look);
// Switches between the header band and the side picture: shows the controls of one, hides the
// other's, sets the title's font and repaints.
void LookSetSide(HWND dlg, Look* look, bool side);
// Handlers for the dialog procedure: the background, the colour of statics on white, the drawn
// pictures (side picture, emblem). Each returns what the dialog procedure returns.
INT_PTR LookErase(HWND dlg, const Look& look, HDC dc);
INT_PTR LookCtlColor(HWND dlg, const Look& look, HDC dc, HWND ctl);
INT_PTR LookDrawItem(const DRAWITEMSTRUCT* di);
// Runs the program's dialog `id` (the common controls made ready first), then frees the look.
void LookRun(int id, DLGPROC proc, LPARAM param, Look* look);
// Moves a control to a rectangle given in dialog units.
void LookPlace(HWND dlg, int id, int x, int y, int cx, int cy);
