#include "app/export/ListenAddress.h"

#include <arpa/inet.h>
#include <netinet/in.h>

#include <charconv>

namespace fxexport {

ListenAddress ListenAddress::loopbackDefault() {
  return {"127.0.0.1", kDefaultPort, false};
}

ListenAddress ListenAddress::parse(const std::string& text, std::string* error) {
  ListenAddress a;
  auto fail = [&](const std::string& why) {
    if (error) *error = "--listen " + text + ": " + why;
    return ListenAddress{};
  };
  std::string port;
  if (!text.empty() && text.front() == '[') {
    const auto close = text.find(']');
    if (close == std::string::npos || close + 1 >= text.size() || text[close + 1] != ':')
      return fail("an IPv6 address is written [ADDRESS]:PORT");
    a.host = text.substr(1, close - 1);
    a.ipv6 = true;
    port = text.substr(close + 2);
  } else {
    const auto colon = text.rfind(':');
    if (colon == std::string::npos) return fail("expected ADDRESS:PORT");
    a.host = text.substr(0, colon);
    port = text.substr(colon + 1);
  }
  unsigned char buffer[sizeof(in6_addr)];
  if (::inet_pton(a.ipv6 ? AF_INET6 : AF_INET, a.host.c_str(), buffer) != 1)
    return fail(a.ipv6 ? "not a numeric IPv6 address" : "not a numeric IPv4 address");
  unsigned value = 0;
  const auto [end, ec] = std::from_chars(port.data(), port.data() + port.size(), value);
  if (port.empty() || ec != std::errc() || end != port.data() + port.size() || value > 65535)
    return fail("the port must be a number from 0 to 65535");
  a.port = static_cast<uint16_t>(value);
  if (error) error->clear();
  return a;
}

bool ListenAddress::isLoopback() const {
  if (ipv6) {
    in6_addr addr{};
    return ::inet_pton(AF_INET6, host.c_str(), &addr) == 1 && IN6_IS_ADDR_LOOPBACK(&addr);
  }
  in_addr addr{};
  return ::inet_pton(AF_INET, host.c_str(), &addr) == 1 && (ntohl(addr.s_addr) >> 24) == 127;
}

std::string ListenAddress::text() const {
  return withPort(port);
}

std::string ListenAddress::withPort(int p) const {
  return (ipv6 ? "[" + host + "]" : host) + ":" + std::to_string(p);
}

}  // namespace fxexport
