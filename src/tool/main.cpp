// The packing tool: `lantern pack` turns the stub and a payload into a
// bootstrapper, `lantern inspect` shows what a bootstrapper carries.
#include <cstdio>

#ifdef _WIN32
int wmain() {
#else
int main() {
#endif
  std::fputs("lantern: not built yet\n", stderr);
  return 2;
}
