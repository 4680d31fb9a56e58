#include <cstdio>

// Placeholder until the console window exists: says so and ends successfully.
int main()
{
    std::puts("TQX Orbivo Emulator: the console window is not built yet; "
              "script/test runs the emulation core's tests.");
    return 0;
}
