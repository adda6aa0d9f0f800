// The application's global error display (toolkit-free part). Every
// exception that escapes an action handler is passed to the display handler
// with its message; the program goes on. The window installs a message box;
// tests and the command line install their own.
//   SetErrorDisplay(handler)   replaces the handler (nullptr: the default,
//                              which writes the message to the trace)
//   ShowException(e)           passes e's message to the handler
//   RunGuarded(action)         runs action, showing what escapes it
#pragma once

#include <exception>
#include <functional>
#include <string>

using TErrorDisplay = std::function<void(const std::string& message)>;

void SetErrorDisplay(TErrorDisplay handler);
void ShowException(const std::exception& e);
void RunGuarded(const std::function<void()>& action);
