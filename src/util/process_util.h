// Starting child processes, with a choice of waiting, and elevation.
// The starters are Windows-only; the command-line and wait-mode rules are
// portable.
#pragma once

#include <cstdint>
#include <string>

// A process handle (HANDLE) that the caller closes.
using ProcessHandle = void*;

enum class WaitMode {
    kNone,   // return once the child is started
    kIdle,   // until the child waits for input
    kExit,   // until the child ends; its exit code is taken
    kEvent,  // until a named event is signalled or the child ends
};

// The wait mode of a RunProgram text: null or empty and "WAITEXIT" wait for
// the exit, "WAITIDLE" for input idle, "WAIT_<name>" for the event <name>
// (eventName set), anything else does not wait.
WaitMode ParseWaitMode(const wchar_t* text, std::wstring& eventName);

// Splits a command line into the program file and its parameters the way the
// elevated start needs them: a leading '"' quotes the file up to the next
// '"'; otherwise the file ends before the first space after the first
// character. Leading white space is removed from the parameters. Returns
// false, with both empty, when the opening quote has no closing one.
bool SplitCommandLine(const std::wstring& commandLine, std::wstring& file, std::wstring& parameters);

// Starts the command line and waits as waitMode says (see ParseWaitMode);
// asAdmin elevates on Vista and later (showCommand is then not used). For
// "WAIT_<name>" the event is created (or opened) manual-reset and
// unsignalled; if that fails the call does not wait. exitCode is the
// child's exit code when waiting for its exit, otherwise 0.
// Returns 0, the system error code of a failed start, or 995
// (ERROR_OPERATION_ABORTED) when the child ended without signalling the event.
int RunProgram(uint32_t& exitCode, const std::wstring& commandLine, int showCommand, bool asAdmin,
               const wchar_t* waitMode);
// Starts the command line with CreateProcessW (no system error boxes, no
// inherited handles). process, if not null, receives the process handle.
// Returns 0 or the system error code.
int CreateProcessSimple(const std::wstring& commandLine, int showCommand, ProcessHandle* process);
// Starts the command line elevated ("runas", shown). process, if not null,
// receives the process handle (null when the shell reused a running
// process). Returns 0 or the system error code; 87
// (ERROR_INVALID_PARAMETER) when the command line has an unclosed quote.
int RunAsAdmin(const std::wstring& commandLine, ProcessHandle* process);
