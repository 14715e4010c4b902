// A client for the admission tests: connects to the Unix socket named by its first argument,
// then either stays until the server hangs up ("stay"), exits at once ("leave"), or executes
// the program named by its third argument, which inherits the connection ("exec PROGRAM") and
// stays on it ("inherit FD"). Without arguments it just exits 0, which shows that a signed copy
// still runs.
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <string>

// Bytes the tests may change in a copy without changing what the program does.
extern "C" const char kFerroluxPatchable[] = "patchable-area:0123456789";

int main(int argc, char** argv) {
  if (argc < 3) return kFerroluxPatchable[0] == 'p' ? 0 : 1;
  char c = 0;
  if (std::string(argv[1]) == "inherit") {
    while (read(std::atoi(argv[2]), &c, 1) > 0) {
    }
    return 0;
  }
  int s = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  if (s < 0 || std::strlen(argv[1]) >= sizeof addr.sun_path) return 3;
  std::strcpy(addr.sun_path, argv[1]);
  if (connect(s, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) return 4;
  if (std::string(argv[2]) == "leave") return 0;
  if (std::string(argv[2]) == "exec" && argc > 3) {
    const int fd = dup(s);  // without close-on-exec
    const std::string number = std::to_string(fd);
    char* args[] = {argv[3], const_cast<char*>("inherit"), const_cast<char*>(number.c_str()),
                    nullptr};
    execv(argv[3], args);
    return 5;
  }
  while (read(s, &c, 1) > 0) {
  }
  return 0;
}
