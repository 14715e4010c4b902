// powermetrics for Linux: one sample of the machine's power and frequencies as a property list.
#include <unistd.h>

#include <cerrno>
#include <string>
#include <string_view>
#include <vector>

#include "tools/powermetrics/Program.h"

namespace {

bool writeAll(int fd, const std::string& bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    done += static_cast<size_t>(n);
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string_view> args;
  for (int i = 1; i < argc; ++i)
    args.emplace_back(argv[i]);

  std::string err;
  auto env = sampler::environmentFromProcess(err);
  if (!env) {
    writeAll(STDERR_FILENO, err);
    return sampler::kExitConfig;
  }
  std::string out;
  int status = sampler::runSampler(args, *env, sampler::sleepWindow, out, err);
  if (!err.empty()) writeAll(STDERR_FILENO, err);
  if (status != 0) return status;
  if (!writeAll(STDOUT_FILENO, out)) return sampler::kExitIoError;
  return 0;
}
