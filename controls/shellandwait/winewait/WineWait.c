// SPDX-License-Identifier: GPL-3.0-or-later
/* Runs inside Wine as the first process of an installation: starts the
 * command line that follows its own first argument, waits for that program
 * and writes its full exit code to the file the first argument names. A
 * Linux parent sees only the low 8 bits of a Windows exit code (3010 arrives
 * as 194), so the code travels through the file.
 *
 *   WineWait.exe C:\windows\temp\code-file program args...
 *
 * The program's command line is passed on exactly as it stands, never through
 * a command interpreter. The file holds the decimal code, or "start-error N"
 * with the Windows error number when the program could not be started. */
#include <stdio.h>
#include <windows.h>

/* The position behind one argument and the blanks after it, by the rules the
 * C runtime splits a command line with: blanks outside quotes separate, 2n
 * backslashes before a quote are n and the quote groups, 2n + 1 are n and a
 * literal quote. */
static const wchar_t *skipArgument(const wchar_t *p)
{
    int inQuotes = 0;
    while (*p == L' ' || *p == L'\t')
        ++p;
    while (*p) {
        if (*p == L'\\') {
            const wchar_t *q = p;
            while (*q == L'\\')
                ++q;
            if (*q == L'"' && (q - p) % 2 == 1)
                q++; /* a literal quote */
            p = q;
            continue;
        }
        if (*p == L'"') {
            inQuotes = !inQuotes;
            ++p;
            continue;
        }
        if (!inQuotes && (*p == L' ' || *p == L'\t'))
            break;
        ++p;
    }
    while (*p == L' ' || *p == L'\t')
        ++p;
    return p;
}

static void writeResult(const wchar_t *path, const char *text)
{
    HANDLE h = CreateFileW(path, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    DWORD written = 0;
    if (h == INVALID_HANDLE_VALUE)
        return;
    WriteFile(h, text, (DWORD)strlen(text), &written, NULL);
    FlushFileBuffers(h);
    CloseHandle(h);
}

int wmain(int argc, wchar_t **argv)
{
    STARTUPINFOW si;
    PROCESS_INFORMATION pi;
    DWORD code = 0;
    char text[64];
    const wchar_t *rest;
    wchar_t *commandLine;
    size_t n;

    if (argc < 3)
        return 87; /* ERROR_INVALID_PARAMETER */
    rest = skipArgument(skipArgument(GetCommandLineW()));
    n = wcslen(rest) + 1;
    commandLine = (wchar_t *)HeapAlloc(GetProcessHeap(), 0, n * sizeof(wchar_t));
    if (!commandLine)
        return 8; /* ERROR_NOT_ENOUGH_MEMORY */
    memcpy(commandLine, rest, n * sizeof(wchar_t));

    ZeroMemory(&si, sizeof si);
    si.cb = sizeof si;
    ZeroMemory(&pi, sizeof pi);
    if (!CreateProcessW(NULL, commandLine, NULL, NULL, TRUE, 0, NULL, NULL, &si, &pi)) {
        const DWORD error = GetLastError();
        snprintf(text, sizeof text, "start-error %lu\n", (unsigned long)error);
        writeResult(argv[1], text);
        return (int)error;
    }
    CloseHandle(pi.hThread);
    WaitForSingleObject(pi.hProcess, INFINITE);
    if (!GetExitCodeProcess(pi.hProcess, &code)) {
        /* No code is written rather than a made-up one: it reads as unknown. */
        CloseHandle(pi.hProcess);
        return 1;
    }
    CloseHandle(pi.hProcess);
    snprintf(text, sizeof text, "%lu\n", (unsigned long)code);
    writeResult(argv[1], text);
    return (int)code;
}
