// Where the metrics endpoint listens: a numeric IPv4 or bracketed IPv6 address and a port,
// "127.0.0.1:10073" or "[::1]:10073". Host names are not taken: the address decides who can
// scrape, so it must say exactly which interface it means.
#pragma once

#include <cstdint>
#include <string>

namespace fxexport {

// An unregistered port in the exporters' conventional range; see the README.
inline constexpr uint16_t kDefaultPort = 10073;

struct ListenAddress {
  std::string host;   // as written, without brackets
  uint16_t port = 0;  // 0: any free port (the one chosen is reported at start)
  bool ipv6 = false;

  // "" when `text` parses; otherwise why not, for the terminal.
  static ListenAddress parse(const std::string& text, std::string* error);
  // 127.0.0.1 on the default port.
  static ListenAddress loopbackDefault();

  bool isLoopback() const;
  // "127.0.0.1:10073" or "[::1]:10073", as the exposer and a browser take it.
  std::string text() const;
  std::string withPort(int port) const;
};

}  // namespace fxexport
