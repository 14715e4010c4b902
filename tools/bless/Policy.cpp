#include "tools/bless/Policy.h"

#include <pwd.h>

#include <cerrno>
#include <charconv>
#include <vector>

namespace bless {
namespace {

// Decimal digits only, no sign, no spaces, within uid_t and not the "no user" value -1.
std::optional<uid_t> parseUid(const std::string& text) {
  if (text.empty() || text.size() > 10) return std::nullopt;
  for (char c : text)
    if (c < '0' || c > '9') return std::nullopt;
  unsigned long long value = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
  if (value >= static_cast<unsigned long long>(static_cast<uid_t>(-1))) return std::nullopt;
  return static_cast<uid_t>(value);
}

std::optional<ApprovingUser> lookUp(const std::optional<uid_t>& uid, const std::string& name) {
  std::vector<char> buffer(16384);
  passwd entry{};
  passwd* found = nullptr;
  const int rc = uid ? ::getpwuid_r(*uid, &entry, buffer.data(), buffer.size(), &found)
                     : ::getpwnam_r(name.c_str(), &entry, buffer.data(), buffer.size(), &found);
  if (rc != 0 || found == nullptr) return std::nullopt;
  return ApprovingUser{found->pw_uid, found->pw_name};
}

}  // namespace

std::optional<std::string> refusal(const Options& options, const Invoker& invoker) {
  if (invoker.pkexecUid) {
    if (!options.root.empty() || !options.serviceManager.empty() || !options.user.empty())
      return "--root, --service-manager and --user are not accepted through pkexec";
    if (invoker.euid != 0) return "not running as root";
    return std::nullopt;
  }
  if (invoker.euid != 0 && options.root.empty())
    return "must run as root (through pkexec), or with --root for a scratch installation";
  return std::nullopt;
}

std::optional<ApprovingUser> approvingUser(const Options& options, const Invoker& invoker,
                                           std::string& error) {
  if (invoker.pkexecUid) {
    const auto uid = parseUid(*invoker.pkexecUid);
    if (!uid) {
      error = "PKEXEC_UID is not a user id: \"" + *invoker.pkexecUid + "\"";
      return std::nullopt;
    }
    auto user = lookUp(uid, "");
    if (!user) error = "no user has the id " + *invoker.pkexecUid;
    return user;
  }
  if (options.user.empty()) {
    error = "no approving user: run through pkexec, or name one with --user";
    return std::nullopt;
  }
  const auto uid = parseUid(options.user);
  auto user = lookUp(uid, options.user);
  if (!user) error = "no such user: " + options.user;
  return user;
}

}  // namespace bless
