#include <cstdio>

int main() {
    std::puts("Velunor: the desktop window is not there yet.");
    return 0;
}
