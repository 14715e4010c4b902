// A client for the admission tests: connects to the Unix socket named by its first argument,
// then either stays until the server hangs up ("stay") or exits at once ("leave"). Without
// arguments it just exits 0, which shows that a signed copy still runs.
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>
#include <string>

// Bytes the tests may change in a copy without changing what the program does.
extern "C" const char kFerroluxPatchable[] = "patchable-area:0123456789";

int main(int argc, char** argv) {
  if (argc < 3) return kFerroluxPatchable[0] == 'p' ? 0 : 1;
  int s = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  if (s < 0 || std::strlen(argv[1]) >= sizeof addr.sun_path) return 3;
  std::strcpy(addr.sun_path, argv[1]);
  if (connect(s, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) return 4;
  if (std::string(argv[2]) == "leave") return 0;
  char c = 0;
  while (read(s, &c, 1) > 0) {
  }
  return 0;
}
