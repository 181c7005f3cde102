// Command lines for CreateProcessW: each argument quoted so that the started program's C runtime
// (and CommandLineToArgvW) splits the line back into exactly the arguments given.
// Relies on: nothing.
#pragma once
#include <string>
#include <vector>

// One argument: as it is when it has no blank, tab or double quote and is not empty; otherwise
// in double quotes, with a double quote inside escaped as \" and the backslashes before a double
// quote (or before the closing quote) doubled.
std::wstring win32_quote_argument(const std::wstring& argument);
// The program (always quoted, so that a folder with blanks never splits it) and its arguments.
std::wstring win32_command_line(const std::wstring& program, const std::vector<std::wstring>& arguments);
