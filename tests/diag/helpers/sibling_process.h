// Starting helper programs built next to the test program.
#pragma once

#include <functional>
#include <string>
#include <vector>

// The path of the program with that base name (no ".exe") in the test
// program's own folder.
std::string SiblingProgramPath(const std::string& name);

// Starts every command (program path, then its arguments), runs whileRunning,
// waits for all of them and returns their exit codes in order; a command that
// could not start gives -1.
std::vector<int> RunAllAtOnce(const std::vector<std::vector<std::string>>& commands,
                              const std::function<void()>& whileRunning);
