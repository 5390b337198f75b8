// Test fixture for the real windows: the main dialog on its own thread, the test acting as the user.
#pragma once
#include <windows.h>
#include <gtest/gtest.h>
#include <functional>
#include <string>
#include <vector>

#include "win/winfs.h"

namespace uitest {

// A fresh folder under the system temporary folder, removed with everything in it afterwards.
std::string MakeTempDir(const char* tag);
using ::RemoveTree;  // the file layer's (win/winfs.h)
void WriteFile(const std::string& path, const std::string& bytes);
std::string ReadFile(const std::string& path);
bool Exists(const std::string& path);
bool IsDir(const std::string& path);
// The folder of the running test program, with a trailing backslash.
std::string ExeDir();
// Windows path of the tool folder built beside the program (out/dist), with a trailing backslash.
std::string DistDir();

// Runs a Linux program under Wine (winctl unix: arguments that are Windows paths become Linux paths)
// and returns its exit code; `args` is a command line's argument part.
DWORD RunLinux(const std::string& args);
// A test certificate and key made now in `folder`, and the signing command template that signs a
// file in place with them (Debian's osslsigncode, "%1" for the file).
std::string MakeSigningCommand(const std::string& folder);
// Signs `file` in place with the certificate that MakeSigningCommand made in `folder`; true on success.
bool SignInPlace(const std::string& folder, const std::string& file);
// Whether osslsigncode accepts the signature of `file` against the certificate in `folder`.
bool SignatureVerifies(const std::string& folder, const std::string& file);

// Registry key of the program under both roots.
void DeleteProgramKey();
bool RegRead(HKEY root, const char* name, std::string* out);
void RegWrite(HKEY root, const char* name, const std::string& value, bool withTerminator = true);

// Polls `pred` every 20 ms until it holds or `ms` pass.
bool WaitFor(const std::function<bool()>& pred, DWORD ms = 10000);
// A top-level window of `cls` (nullptr = any) whose caption is `caption`, owned by this process.
HWND FindTopWindow(const char* cls, const char* caption, DWORD ms = 10000);
// The text of a message box: its static with id 0xFFFF.
std::string MessageText(HWND box);
std::string WindowText(HWND wnd);
// Answers the common file dialog `dlg`: types `path` into its file-name field and presses Open/Save.
void AnswerFileDialog(HWND dlg, const std::string& path);
// Presses the dialog's cancel button.
void CancelDialog(HWND dlg);
// The message box that appears next (caption "Packrift"), its text, and closes it with `button`.
std::string AnswerMessage(int button = IDOK, DWORD ms = 10000);

// The registry editor, as the user fills it: key, value name, value, the type picked by its name in
// the drop-down list (the dialog hears of the choice), and the path check box once it can be ticked.
// False when the type isn't listed or the box stays disabled.
extern const char kRegistryEditorCaption[];
bool FillRegistryEditor(HWND editor, const std::string& key, const std::string& name, const std::string& value,
                        const char* type, bool dynam);

// The main dialog run through StartMain on a thread of its own, as the program runs it: started and
// shown (the thread handle is returned, the window in *main), and closed (answering "no" to the
// save question) with its thread ended.
HANDLE StartMainWindow(HWND* main);
void CloseMainWindow(HANDLE thread, HWND main);

// Base fixture: a clean registry key, a temporary folder of its own (TMP/TEMP point at it, so the
// working folder lives inside it) and helpers to run and drive the main window.
class AppTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Starts the main dialog through StartMain on a thread of its own; waits until it is shown.
  void StartApp();
  // Posts WM_CLOSE and waits for the main dialog's thread to end.
  void CloseApp();
  bool AppRunning() const;

  HWND Main() const { return main_; }
  HWND Item(int id) const { return GetDlgItem(main_, id); }
  std::string Text(int id) const;
  void SetText(int id, const std::string& text);
  bool Enabled(int id) const { return IsWindowEnabled(Item(id)) != FALSE; }
  // A button press as the user makes it, posted so that a handler that opens a box does not block.
  void Click(int id);
  // A click whose handler opens nothing modal: returns when the handler has run.
  void ClickNow(int id) { SendMessageA(Item(id), BM_CLICK, 0, 0); }
  void Command(int id, int code = 0);
  void CommandNow(int id, int code = 0) { SendMessageA(main_, WM_COMMAND, MAKEWPARAM(id, code), 0); }
  // A registry entry entered through the editor that button 409 opens; true when it was stored
  // and the editor closed.
  bool AddRegistry(const std::string& key, const std::string& name, const std::string& value, const char* type,
                   bool dynam = false);
  UINT MenuState(int id) const;
  std::string MenuText(UINT item, bool byPosition) const;
  // The working folder (<temp>\Packrift).
  std::string WorkDir() const { return temp_ + "Packrift"; }

  std::string temp_;  // this test's temporary folder, with a trailing backslash

 private:
  HANDLE thread_ = nullptr;
  HWND main_ = nullptr;
};

}  // namespace uitest
