// The entry editors: shortcut, run-entry and registry-entry dialogs, each on a thread of its own,
// built on the skeleton of entries/editor.h.
#pragma once
#include <windows.h>
#include "core/entrystate.h"

void DialogSkrotow();                 // opens the shortcut editor unless it is open
DWORD WINAPI ThtMain2(LPVOID);
INT_PTR CALLBACK DialogProc3(HWND wnd, UINT msg, WPARAM wp, LPARAM lp);
void InitLang3(HWND wnd);
void InitCheckBox(HWND wnd);
void Wypelnia_dialog1(HWND wnd);
void WypelnijSkruty();                // double-click on list 500: edit the selected shortcut
int Zastosuj3(HWND wnd);              // 1 = input refused, the dialog stays; 0 = stored

void DialogUruchom();                 // opens the run-entry editor unless it is open
DWORD WINAPI ThtMain3(LPVOID);
INT_PTR CALLBACK DialogProc4(HWND wnd, UINT msg, WPARAM wp, LPARAM lp);
void InitLang4(HWND wnd);
void Wypelnia_dialog2(HWND wnd);
void WypelnijUruchom();               // double-click on list 501: edit the selected run entry
void Zastosuj4(HWND wnd);

void DialogReg();                     // opens the registry-entry editor unless it is open
DWORD WINAPI ThtMain4(LPVOID);
INT_PTR CALLBACK DialogProc5(HWND wnd, UINT msg, WPARAM wp, LPARAM lp);
void WypelnijRejestr();               // double-click on list 502: edit the selected registry entry
void InitLang5(HWND wnd);
void InitCombo(HWND wnd);             // the four type names, each with its type as item data
void InitDialog5(HWND wnd);           // the edited entry (found by its number) or a new one's type
void obslugacheckboxa(HWND wnd);      // the path check box can be ticked only for REG_EXPAND_SZ
bool CzToJestKlucz(HWND wnd);         // the key begins with one of the four roots, exact case
// 1 = the value does not fit its type: said so, the dialog stays with what was typed; 0 = closes.
int Zastosuj5(HWND wnd);
