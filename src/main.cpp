// Entry point of the Quorvale Web Server executable.
#include <cstdio>

int main() {
  std::puts("qvweb: the service host is not built yet");
  return 0;
}
