#include "sibling_process.h"

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <climits>

extern char** environ;

std::string SiblingProgramPath(const std::string& name) {
    char self[PATH_MAX];
    ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    if (n <= 0) return name;
    std::string path(self, static_cast<size_t>(n));
    path.erase(path.find_last_of('/') + 1);
    return path + name;
}

std::vector<int> RunAllAtOnce(const std::vector<std::vector<std::string>>& commands,
                              const std::function<void()>& whileRunning) {
    std::vector<int> codes(commands.size(), -1);
    std::vector<pid_t> children(commands.size(), -1);
    for (size_t i = 0; i < commands.size(); ++i) {
        std::vector<char*> argv;
        for (const std::string& arg : commands[i]) argv.push_back(const_cast<char*>(arg.c_str()));
        argv.push_back(nullptr);
        pid_t pid;
        if (posix_spawn(&pid, argv[0], nullptr, nullptr, argv.data(), environ) == 0) children[i] = pid;
    }
    whileRunning();
    for (size_t i = 0; i < children.size(); ++i) {
        if (children[i] < 0) continue;
        int status = 0;
        if (waitpid(children[i], &status, 0) == children[i] && WIFEXITED(status)) {
            codes[i] = WEXITSTATUS(status);
        }
    }
    return codes;
}
