#include <cstdio>

int main() {
    std::puts("Mail sortello: the window is not there yet.");
    return 0;
}
