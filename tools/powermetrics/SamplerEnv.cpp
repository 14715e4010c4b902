// ferrolux-sampler-env: the build tree's sampler with a few variables added, for development
// runs on a simulated machine. The helper gives its sampler a fixed, minimal environment, so the
// sim profile cannot reach the sampler from the helper; a copy of this program stands in the
// helper's tools folder under the sampler's name, with the variables in a file beside it (the
// copy's path plus ".env", one NAME=VALUE a line). It adds them and replaces itself with the
// sampler it was built with. A shell script doing the same costs a shell's start once a second,
// several times what this costs. Never installed: the installed helper runs only the installed
// sampler.
#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>

namespace {

void say(const char* text) {
  [[maybe_unused]] auto n = ::write(STDERR_FILENO, text, std::strlen(text));
}

// Sets each NAME=VALUE line of the variables file beside this program's own executable (a copy,
// not a link: a link resolves to the build tree). A missing file adds nothing. Plain buffers and
// no C++ library: the program starts once a second.
bool addVariables() {
  char path[4096];
  const ssize_t length = ::readlink("/proc/self/exe", path, sizeof path);
  if (length <= 0 || static_cast<size_t>(length) + sizeof ".env" > sizeof path) return false;
  std::memcpy(path + length, ".env", sizeof ".env");
  const int fd = ::open(path, O_RDONLY | O_CLOEXEC);
  if (fd < 0) return true;
  // Far larger than a few paths; a longer file is refused rather than cut.
  static char text[65536];
  size_t used = 0;
  for (;;) {
    const ssize_t n = ::read(fd, text + used, sizeof text - 1 - used);
    if (n == 0) break;
    if (n < 0 || (used += static_cast<size_t>(n)) == sizeof text - 1) {
      ::close(fd);
      return false;
    }
  }
  ::close(fd);
  text[used] = '\0';
  for (char* line = text; *line;) {
    char* end = std::strchr(line, '\n');
    if (end) *end = '\0';
    if (*line) {
      char* eq = std::strchr(line, '=');
      if (!eq || eq == line) return false;
      *eq = '\0';
      if (::setenv(line, eq + 1, 1) != 0) return false;
    }
    if (!end) break;
    line = end + 1;
  }
  return true;
}

}  // namespace

int main(int, char** argv) {
  if (!addVariables()) {
    say("ferrolux-sampler-env: unreadable variables file beside the program\n");
    return 127;
  }
  ::execv(FERROLUX_SAMPLER, argv);
  say("ferrolux-sampler-env: cannot start " FERROLUX_SAMPLER "\n");
  return 127;
}
