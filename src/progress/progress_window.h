// The "Converting...." progress window.
#pragma once

#include "win32/win32.h"

// The private message that updates the window: wParam the percent, lParam the text.
inline constexpr UINT kProgressUpdateMessage = WM_USER + 1001;

// Shows the text and the percent, creating the window at the first report, and drains the
// thread's message queue, since the run has no message loop of its own.
void ShowProgress(const char* text, int percent);

// Hides and destroys the window, if there is one.
void CloseProgressWindow();

INT_PTR CALLBACK ProgressDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// Centres window on reference, kept on the screen.
void CenterWindow(HWND window, HWND reference);

// Makes the dialog template available: the compiled resource script does it on Windows.
void EnsureDialogResources();
