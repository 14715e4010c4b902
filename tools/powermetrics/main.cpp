// powermetrics for Linux: one sample of the machine's power and frequencies as a property list.
#include <unistd.h>

#include <string>
#include <string_view>
#include <vector>

#include "shared/process/WriteAll.h"
#include "tools/powermetrics/Program.h"

int main(int argc, char** argv) {
  std::vector<std::string_view> args;
  for (int i = 1; i < argc; ++i)
    args.emplace_back(argv[i]);

  std::string err;
  auto env = sampler::environmentFromProcess(err);
  if (!env) {
    proc::writeAll(STDERR_FILENO, err);
    return sampler::kExitConfig;
  }
  std::string out;
  int status = sampler::runSampler(args, *env, sampler::sleepWindow, out, err);
  if (!err.empty()) proc::writeAll(STDERR_FILENO, err);
  if (status != 0) return status;
  if (!proc::writeAll(STDOUT_FILENO, out)) return sampler::kExitIoError;
  return 0;
}
