// Command-line quoting by the rules of the Windows C runtime's argument parsing.
// Relies on: nothing.
#include "runtime/platform/win32/win32_command_line.h"

std::wstring win32_quote_argument(const std::wstring& argument) {
    if (!argument.empty() && argument.find_first_of(L" \t\n\v\"") == std::wstring::npos) return argument;
    std::wstring out = L"\"";
    size_t backslashes = 0;
    for (wchar_t c : argument) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        // Backslashes count double only in front of a double quote.
        out.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
        backslashes = 0;
        out += c;
    }
    out.append(backslashes * 2, L'\\');  // before the closing quote
    return out + L"\"";
}

std::wstring win32_command_line(const std::wstring& program, const std::vector<std::wstring>& arguments) {
    // The program name is read up to the next double quote with no escapes, and a Windows path
    // holds no double quote: plain quotes around it are enough.
    std::wstring line = L"\"" + program + L"\"";
    for (const std::wstring& argument : arguments) line += L" " + win32_quote_argument(argument);
    return line;
}
