/* SPDX-License-Identifier: MIT */
// What the toolkit asks of its back end.  Exactly one back end is linked:
// headless/ (tests, every non-Windows build) or win32/ (Windows builds).
// Internal to the toolkit; programs use the classes instead.
#pragma once

#include <functional>
#include <string>

#include "forms/wintypes.h"

namespace forms {
class TForm;
class TPopupMenu;
class TTimer;
}  // namespace forms

namespace forms::backend {

// True on the window thread: the thread that runs the handlers.
bool OnWindowThread();

// Runs `call` on the window thread and returns when it has run; an exception
// it raises is raised again in the caller.  Runs at once on the window thread.
void RunOnWindowThread(const std::function<void()>& call);

// Queues `call` for the window thread and returns at once.
void PostToWindowThread(std::function<void()> call);

// Blocks until `done()` holds.  On the window thread it keeps serving the
// calls queued for it meanwhile (headless, virtual time passes too).
// Whoever makes `done()` true calls Notify() afterwards.
void WaitUntil(const std::function<bool()>& done);
void Notify();

// Thread bookkeeping: ThreadStarting() on the creating side before the
// thread exists, ThreadBegins() first thing on the new thread,
// ThreadEnded() last thing on it.
void ThreadStarting();
void ThreadBegins();
void ThreadEnded();

// A timer's Enabled or Interval changed, or it is going away.
void TimerChanged(TTimer& timer);
void TimerDestroyed(TTimer& timer);

HICON LoadIconResource(const std::string& name);

// The form's components all have their properties: give them native windows.
void FormLoaded(TForm& form);
void FormDestroying(TForm& form);
void PopupMenu(TPopupMenu& menu, int x, int y);

HWND ApplicationHandle();
void SetApplicationTitle(const std::string& title);
// Serves the window thread until the application terminates.
void RunMessageLoop();
// Handles what is waiting for the window thread, then returns.
void ProcessMessages();
// The application is terminating: wake the message loop.
void Terminating();

}  // namespace forms::backend
