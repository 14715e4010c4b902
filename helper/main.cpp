// com.tarquell.powermetrics: the privileged helper. systemd starts it when the application
// connects to its socket; it serves until asked to close or to remove itself.
#include <malloc.h>
#include <openssl/crypto.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>

#include <algorithm>
#include <cstdio>
#include <string>

#include "helper/Log.h"
#include "helper/Options.h"
#include "helper/SocketActivation.h"
#include "helper/XPCServer.h"
#include "helper/admission/ClientAdmission.h"
#include "shared/codesign/ConfiguredAnchor.h"
#include "shared/xpc/Socket.h"

namespace {

// The owner of the socket file: the installer gives it to the user who approved the install.
std::optional<uid_t> socketOwner(int fd) {
  sockaddr_un addr{};
  socklen_t len = sizeof addr;
  if (::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len) != 0 || addr.sun_path[0] == 0)
    return std::nullopt;
  struct stat st;
  addr.sun_path[sizeof addr.sun_path - 1] = 0;
  if (::stat(addr.sun_path, &st) != 0) return std::nullopt;
  return st.st_uid;
}

}  // namespace

int main(int argc, char** argv) {
  std::string error;
  const auto options = helper::parseOptions(argc, argv, error);
  if (!options) {
    std::fprintf(stderr, "com.tarquell.powermetrics: %s\n", error.c_str());
    return 2;
  }
  // A client that goes away mid-write must not kill the helper.
  ::signal(SIGPIPE, SIG_IGN);
  // The helper stays resident, so its memory counts. Its few threads (one per connection and
  // one per sampler run) allocate little and rarely: one shared heap serves them, instead of an
  // arena of touched pages for each.
  ::mallopt(M_ARENA_MAX, 1);
  // Signature checks need only the built-in algorithms and the anchor compiled in; the
  // system-wide OpenSSL configuration (which can load other providers) is not read by root.
  OPENSSL_init_crypto(OPENSSL_INIT_NO_LOAD_CONFIG, nullptr);

  xpc::UniqueFd owned;
  int listenFd = -1;
  if (!options->listenPath.empty()) {
    owned = xpc::listenUnix(options->listenPath);
    listenFd = owned.get();
  } else if (const auto activated = helper::takeActivatedSocket()) {
    listenFd = *activated;
  }

  std::vector<uid_t> allowed = options->allowUids;
  allowed.push_back(0);
  if (listenFd >= 0)
    if (const auto owner = socketOwner(listenFd)) allowed.push_back(*owner);

  helper::ServerConfig config;
  config.sampler.searchPath = options->toolsDir.empty() ? helper::defaultSearchPath()
                                                        : helper::searchPathWith(options->toolsDir);
  if (!options->nicePath.empty()) config.sampler.nicePath = options->nicePath;
  if (options->graceMs) config.sampler.grace = std::chrono::milliseconds(*options->graceMs);
  config.install = helper::installPaths(options->installRoot);
  if (!options->serviceManager.empty()) config.install.serviceManager = options->serviceManager;
  // Two walls: the kernel-reported user (root, or the user the socket belongs to), then the
  // peer's code signature against the anchor this helper was built with. Without a usable
  // anchor nobody is admitted.
  auto anchor = codesign::Anchor::fromPem(codesign::configuredAnchorPem());
  helper::AdmissionCheck signatureCheck;
  if (anchor) {
    signatureCheck =
        helper::makeCodesignAdmission([](std::string_view line) { helper::logLine(line); },
                                      helper::AdmissionConfig{std::move(*anchor)});
  } else {
    helper::log("the configured signing anchor cannot be read; refusing every client");
  }
  config.admit = [allowed, signatureCheck](const helper::PeerInfo& peer) {
    if (std::find(allowed.begin(), allowed.end(), peer.uid) == allowed.end()) {
      helper::log("Client is not valid");
      return false;
    }
    if (!signatureCheck) {
      helper::log("Client is not valid");
      return false;
    }
    return signatureCheck(peer);
  };

  helper::XPCServer server(std::move(config));
  if (listenFd < 0) {
    helper::log("Privileged Helper has started");
    helper::log("no listening socket; nothing to serve");
    return 0;
  }
  server.run(listenFd);
  return 0;
}
