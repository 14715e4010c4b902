#include "helper/admission/CodesignCheck.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>

namespace helper {

std::string CodesignCheckError::description() const {
  return "CodesignCheckError(message: \"" + message + "\")";
}

namespace {

CodesignCheckError error(std::string_view message) {
  return {std::string(message)};
}

Checked<StaticCode> staticCodeOf(UniqueFd fd) {
  struct stat st {};
  if (fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) return error(kEmptyFromCopyStaticCode);
  return StaticCode{std::move(fd)};
}

}  // namespace

Checked<StaticCode> copySelfStaticCode(const std::string& selfExecutable) {
  if (selfExecutable.empty()) return error(kEmptyFromCopySelf);
  UniqueFd fd(open(selfExecutable.c_str(), O_RDONLY | O_CLOEXEC));
  if (!fd) return error(std::string("cannot open own executable: ") + std::strerror(errno));
  return staticCodeOf(std::move(fd));
}

Checked<StaticCode> copyClientStaticCode(pid_t pid, int pidfd) {
  OpenedExecutable opened = openExecutableByHandle(pid, pidfd);
  switch (opened.result) {
    case OpenedExecutable::Result::Ok:
      return staticCodeOf(std::move(opened.fd));
    case OpenedExecutable::Result::NoCode:
      return error(kEmptyFromCopyGuest);
    case OpenedExecutable::Result::Gone:
    case OpenedExecutable::Result::Error:
      break;
  }
  return error(opened.message);
}

Checked<codesign::Verification> copySigningInformation(const StaticCode& code,
                                                       const codesign::Anchor& anchor) {
  codesign::Verification v = codesign::verifyFd(code.fd.get(), anchor);
  if (!v.intact()) return error(v.reason);
  if (v.identifier.empty()) return error(kEmptyFromSigningInformation);
  return v;
}

}  // namespace helper
