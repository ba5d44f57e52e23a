// A running program that is not an updater: it waits a minute unless ended sooner.
#include <windows.h>

int main() {
    Sleep(60000);
    return 0;
}
