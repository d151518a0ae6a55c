#include <cstdio>

int main() {
  std::puts("kestrune " KESTRUNE_VERSION);
  return 0;
}
