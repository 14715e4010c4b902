// ferrolux-bless: installs the privileged helper with an administrator's approval. The
// application runs it through pkexec; see Options.h for the command line, Install.h for what
// it installs, and Options.h's ExitStatus for what the exit status means.
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include "shared/codesign/ConfiguredAnchor.h"
#include "tools/bless/Install.h"

int main(int argc, char** argv) {
  // Whatever the caller's umask, files and directories get exactly the modes we set.
  ::umask(022);
  // pkexec leaves us on the caller's terminal, which could otherwise stop or interrupt us
  // between writing the files and starting the service. Children get default handling back.
  for (int sig : {SIGINT, SIGQUIT, SIGTSTP, SIGHUP})
    ::signal(sig, SIG_IGN);
  std::string error;
  const auto options = bless::parseOptions(argc, argv, error);
  if (!options) {
    std::fprintf(stderr,
                 "ferrolux-bless: %s\n"
                 "usage: ferrolux-bless install --helper PATH --sampler PATH --client PATH\n"
                 "                      [--user NAME|UID] [--root DIR --service-manager PATH]\n",
                 error.c_str());
    return bless::kUsage;
  }
  bless::Invoker invoker;
  invoker.euid = ::geteuid();
  if (const char* uid = std::getenv("PKEXEC_UID")) invoker.pkexecUid = uid;

  const auto anchor = codesign::Anchor::fromPem(codesign::configuredAnchorPem(), &error);
  if (!anchor) {
    std::fprintf(stderr, "ferrolux-bless: refused: the build's anchor is unusable: %s\n",
                 error.c_str());
    return bless::kRefused;
  }
  const auto outcome = bless::install(*options, invoker, *anchor);
  std::fprintf(outcome.status == bless::kInstalled ? stdout : stderr, "ferrolux-bless: %s\n",
               outcome.message.c_str());
  return outcome.status;
}
