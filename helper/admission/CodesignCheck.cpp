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

Checked<StaticCode> copyClientStaticCode(pid_t pid) {
  OpenedExecutable opened = openExecutableByPid(pid);
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

Checked<SigningInformation> copySigningInformation(const StaticCode& code,
                                                   const codesign::Anchor& anchor) {
  codesign::Verification v = codesign::verifyFd(code.fd.get(), anchor);
  if (!v.intact()) return error(v.reason);
  if (v.identifier.empty()) return error(kEmptyFromSigningInformation);
  return SigningInformation{std::move(v.identifier), std::move(v.chain)};
}

Checked<std::vector<codesign::Certificate>> signingCertificates(const StaticCode& code,
                                                                const codesign::Anchor& anchor) {
  auto info = copySigningInformation(code, anchor);
  if (auto* e = std::get_if<CodesignCheckError>(&info)) return *e;
  return std::move(std::get<SigningInformation>(info).certificates);
}

Checked<bool> checkClientCertificates(pid_t pid, const std::string& selfExecutable,
                                      const codesign::Anchor& anchor) {
  auto self = copySelfStaticCode(selfExecutable);
  if (auto* e = std::get_if<CodesignCheckError>(&self)) return *e;
  auto own = signingCertificates(std::get<StaticCode>(self), anchor);
  if (auto* e = std::get_if<CodesignCheckError>(&own)) return *e;

  auto client = copyClientStaticCode(pid);
  if (auto* e = std::get_if<CodesignCheckError>(&client)) return *e;
  auto theirs = signingCertificates(std::get<StaticCode>(client), anchor);
  if (auto* e = std::get_if<CodesignCheckError>(&theirs)) return *e;

  // Same length and equal position by position; two empty chains match.
  return std::get<std::vector<codesign::Certificate>>(own) ==
         std::get<std::vector<codesign::Certificate>>(theirs);
}

}  // namespace helper
