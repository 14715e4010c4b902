#include "app/export/ServeCommand.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <prometheus/exposer.h>

#include <QCoreApplication>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <exception>
#include <memory>

#include "app/core/ExitStatus.h"
#include "app/export/ListenAddress.h"
#include "app/export/MetricsExporter.h"
#include "app/export/SampleCollector.h"
#include "app/headless/HeadlessRuntime.h"
#include "app/headless/HeadlessSession.h"
#include "app/model/GeneralModel.h"
#include "platform/Platform.h"

namespace fxexport {

namespace {

using headless::say;

// Why `address` cannot be listened on, found by binding it once ourselves: the exposer's own
// failure does not say. Empty when a bind works.
std::string bindProblem(const ListenAddress& address) {
  sockaddr_storage storage{};
  socklen_t length = 0;
  if (address.ipv6) {
    auto* a = reinterpret_cast<sockaddr_in6*>(&storage);
    a->sin6_family = AF_INET6;
    a->sin6_port = htons(address.port);
    ::inet_pton(AF_INET6, address.host.c_str(), &a->sin6_addr);
    length = sizeof(*a);
  } else {
    auto* a = reinterpret_cast<sockaddr_in*>(&storage);
    a->sin_family = AF_INET;
    a->sin_port = htons(address.port);
    ::inet_pton(AF_INET, address.host.c_str(), &a->sin_addr);
    length = sizeof(*a);
  }
  const int fd = ::socket(storage.ss_family, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return std::strerror(errno);
  // As the exposer binds: a port left in TIME_WAIT by an earlier run is free.
  const int on = 1;
  ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof(on));
  std::string problem;
  if (::bind(fd, reinterpret_cast<sockaddr*>(&storage), length) != 0) {
    const int error = errno;
    if (error == EADDRINUSE)
      problem = "port " + std::to_string(address.port) + " on " + address.host +
                " is already in use; choose another with --listen ADDRESS:PORT";
    else if (error == EADDRNOTAVAIL)
      problem = address.host + " is not an address of this machine";
    else if (error == EACCES)
      problem = "port " + std::to_string(address.port) + " needs privileges; choose one above 1023";
    else
      problem = "cannot listen on " + address.text() + ": " + std::strerror(error);
  }
  ::close(fd);
  return problem;
}

}  // namespace

int runServe(const std::optional<std::string>& listen, platform::Platform& machine, int& argc,
             char** argv) {
  ListenAddress address = ListenAddress::loopbackDefault();
  if (listen) {
    std::string error;
    address = ListenAddress::parse(*listen, &error);
    if (!error.empty()) {
      say(error);
      return exitstatus::kUsage;
    }
  }
  if (address.ipv6) {
    // Debian's civetweb, under the exposer, is built without IPv6: refused here with the
    // reason rather than with the web server's own puzzling failure.
    say("cannot listen on " + address.text() +
        ": IPv6 addresses are not supported (the packaged web server is built without IPv6); "
        "use an IPv4 address such as 127.0.0.1:" +
        std::to_string(address.port));
    return exitstatus::kUsage;
  }

  QCoreApplication app(argc, argv);

  auto collector = std::make_shared<SampleCollector>();
  if (const std::string problem = bindProblem(address); !problem.empty()) {
    say(problem);
    return exitstatus::kCannotListen;
  }
  std::unique_ptr<prometheus::Exposer> exposer;
  try {
    exposer = std::make_unique<prometheus::Exposer>(address.text(), 2);
  } catch (const std::exception& e) {
    say("cannot listen on " + address.text() + ": " + e.what());
    return exitstatus::kCannotListen;
  }
  exposer->RegisterCollectable(collector);
  const std::vector<int> ports = exposer->GetListeningPorts();
  const int port = ports.empty() ? address.port : ports.front();

  headless::HeadlessRuntime runtime(app);
  GeneralModel& model = runtime.model();

  headless::HeadlessSession::Options options;
  options.keepTrying = true;
  headless::HeadlessSession session(model, options);
  MetricsSnapshot identity;
  identity.version = FERROLUX_VERSION;
  identity.platform = machine.name();
  identity.chip = model.modelMainTitle().appleSiliconName().toStdString();
  MetricsExporter exporter(session, collector, identity);

  QObject::connect(&session, &headless::HeadlessSession::failed, &app,
                   [&](headless::Failure failure) {
                     say(headless::message(failure, session.endpoint()));
                     QCoreApplication::exit(headless::exitCode(failure));
                   });
  // The address is announced only once it serves real figures: listening, and the helper
  // admitted this program.
  QObject::connect(&session, &headless::HeadlessSession::started, &app, [&] {
    say("sampling through the helper at " + session.endpoint());
    say("metrics at http://" + address.withPort(port) + "/metrics");
    if (!address.isLoopback())
      say("listening beyond this machine: anyone who reaches " + address.host +
          " can read the metrics");
  });
  QObject::connect(&session, &headless::HeadlessSession::helperLost, &app, [&] {
    say("the helper stopped answering; checking again every " +
        std::to_string(options.retryMs / 1000) + " s");
  });
  QObject::connect(&session, &headless::HeadlessSession::helperBack, &app,
                   [&] { say("the helper answers again"); });
  session.start();
  return QCoreApplication::exec();
}

}  // namespace fxexport
