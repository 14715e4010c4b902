// An unsigned client that floods the helper for the connection-flood test: for the given number
// of seconds it opens connections as fast as the helper takes them, closing every other one at
// once and sending a garbage frame on the rest. It prints how many connections it made.
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>

int main(int argc, char** argv) {
  if (argc != 3) return 2;
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(std::atoi(argv[2]));
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  if (std::strlen(argv[1]) >= sizeof addr.sun_path) return 2;
  std::strcpy(addr.sun_path, argv[1]);
  // A length that promises more than the helper accepts, then bytes that are no property list.
  const char garbage[] = "\x00\x00\x00\x10not a plist!!!!!";
  long made = 0;
  while (std::chrono::steady_clock::now() < until) {
    const int s = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (s < 0) return 3;
    if (connect(s, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0) {
      ++made;
      if (made % 2 == 0) (void)!send(s, garbage, sizeof garbage - 1, MSG_NOSIGNAL);
    }
    close(s);
  }
  std::printf("%ld\n", made);
  return 0;
}
