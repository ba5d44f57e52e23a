// Small queries of the operating system.
#pragma once

#include <cstdint>
#include <string>

// Processor architecture codes of the system information.
constexpr int kArchitectureIntel = 0;
constexpr int kArchitectureArm = 5;
constexpr int kArchitectureAmd64 = 9;
constexpr int kArchitectureArm64 = 12;

// The system's error code of the calling thread's last failing call
// (GetLastError; errno natively).
int LastSystemError();
// True when the major version of the operating system is above 5 (Vista or
// later), that is, when elevation exists. The native build counts as a
// current system.
bool IsVistaOrLater();
// The processor architecture of the machine itself, not of this process (a
// 32-bit process on 64-bit Windows sees kArchitectureAmd64); 0 when unknown.
int NativeArchitecture();
// A new UUID in its standard lower-case form
// ("xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx"); "0" if none could be made.
std::wstring NewUuidText();
// True and "major.minor.build.revision" of the file version in the file's
// version resource; false and an empty text when the file has none, cannot
// be read, or the build has no version resources (native).
bool GetFileVersionText(const std::wstring& path, std::wstring& text);
