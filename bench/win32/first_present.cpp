// Start-up of tarnwood.exe on Windows (or under Wine): starts the program given as its debugger,
// in the program's own folder, and prints the milliseconds from the start to the program's mark
// of its first presented frame (an OutputDebugString), then ends the program there. Exit code 1
// when no mark came within 30 s.
// Usage: first_present.exe PATH\tarnwood.exe
// Relies on: kernel32 (CreateProcessW with DEBUG_ONLY_THIS_PROCESS, WaitForDebugEvent).
#include <windows.h>

#include <cstdio>
#include <string>

int wmain(int argc, wchar_t** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: first_present PROGRAM\n");
        return 2;
    }
    std::wstring program = argv[1], folder = program.substr(0, program.find_last_of(L"\\/") + 1);
    std::wstring line = L"\"" + program + L"\"";
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    LARGE_INTEGER frequency, start, now;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&start);
    if (!CreateProcessW(nullptr, &line[0], nullptr, nullptr, FALSE, DEBUG_ONLY_THIS_PROCESS, nullptr,
                        folder.empty() ? nullptr : folder.c_str(), &startup, &process)) {
        std::fprintf(stderr, "cannot start the program (%lu)\n", GetLastError());
        return 1;
    }
    int result = 1;
    for (bool running = true; running;) {
        DEBUG_EVENT event;
        if (!WaitForDebugEvent(&event, 30000)) break;
        DWORD status = DBG_CONTINUE;
        if (event.dwDebugEventCode == OUTPUT_DEBUG_STRING_EVENT) {
            const OUTPUT_DEBUG_STRING_INFO& info = event.u.DebugString;
            char text[256] = {};
            SIZE_T got = 0;
            // The narrow copy that every OutputDebugString passes on.
            if (!info.fUnicode && ReadProcessMemory(process.hProcess, info.lpDebugStringData, text,
                                                    info.nDebugStringLength < 255 ? info.nDebugStringLength : 255, &got) &&
                std::string(text).find("first frame presented") != std::string::npos) {
                QueryPerformanceCounter(&now);
                std::printf("%lld\n", (now.QuadPart - start.QuadPart) * 1000 / frequency.QuadPart);
                result = 0;
                TerminateProcess(process.hProcess, 0);
            }
        } else if (event.dwDebugEventCode == EXCEPTION_DEBUG_EVENT) {
            if (event.u.Exception.ExceptionRecord.ExceptionCode != EXCEPTION_BREAKPOINT) status = DBG_EXCEPTION_NOT_HANDLED;
        } else if (event.dwDebugEventCode == EXIT_PROCESS_DEBUG_EVENT) {
            running = false;
        } else if (event.dwDebugEventCode == LOAD_DLL_DEBUG_EVENT && event.u.LoadDll.hFile) {
            CloseHandle(event.u.LoadDll.hFile);
        } else if (event.dwDebugEventCode == CREATE_PROCESS_DEBUG_EVENT && event.u.CreateProcessInfo.hFile) {
            CloseHandle(event.u.CreateProcessInfo.hFile);
        }
        ContinueDebugEvent(event.dwProcessId, event.dwThreadId, status);
    }
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return result;
}
