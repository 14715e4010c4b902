#include "tools/bless/Options.h"

#include <map>
#include <string_view>

namespace bless {

std::optional<Options> parseOptions(int argc, const char* const* argv, std::string& error) {
  if (argc < 2) {
    error = "no command";
    return std::nullopt;
  }
  Options o;
  o.command = argv[1];
  if (o.command != "install") {
    error = "unknown command " + o.command;
    return std::nullopt;
  }
  const std::map<std::string_view, std::string*> valued = {
      {"--helper", &o.helper}, {"--sampler", &o.sampler}, {"--client", &o.client},
      {"--user", &o.user},     {"--root", &o.root},       {"--service-manager", &o.serviceManager}};
  std::map<std::string_view, bool> seen;
  for (int i = 2; i < argc; ++i) {
    const std::string_view arg = argv[i];
    const auto it = valued.find(arg);
    if (it == valued.end()) {
      error = "unexpected argument " + std::string(arg);
      return std::nullopt;
    }
    if (i + 1 >= argc || seen[arg] || std::string_view(argv[i + 1]).empty()) {
      error = std::string(arg) + " needs exactly one value";
      return std::nullopt;
    }
    seen[arg] = true;
    *it->second = argv[++i];
  }
  for (const char* required : {"--helper", "--sampler", "--client"})
    if (!seen[required]) {
      error = std::string(required) + " is required";
      return std::nullopt;
    }
  for (const auto& [name, value] : valued)
    if (name != "--user" && !value->empty() && value->front() != '/') {
      error = std::string(name) + " must be an absolute path";
      return std::nullopt;
    }
  if (!o.root.empty() && o.serviceManager.empty()) {
    error = "--root needs --service-manager";
    return std::nullopt;
  }
  return o;
}

}  // namespace bless
