#include "helper/admission/ClientAdmission.h"

#include "helper/admission/CodesignCheck.h"

namespace helper {

bool isValidClient(const PeerInfo& peer, const AdmissionConfig& config, const LogSink& log) {
  auto result = checkClientCertificates(peer.pid, config.selfExecutable, config.anchor);
  if (auto* e = std::get_if<CodesignCheckError>(&result)) {
    log(std::string(kCheckFailedPrefix) + e->description());
    return false;
  }
  return std::get<bool>(result);
}

bool checkClientRequirement(const PeerInfo& peer, const AdmissionConfig& config) {
  OpenedExecutable opened = openExecutableByHandle(peer.pid, peer.pidfd);
  if (opened.result != OpenedExecutable::Result::Ok) return false;
  auto requirement = codesign::Requirement::parse(config.requirement);
  if (!requirement) return false;
  return requirement->isSatisfiedBy(codesign::verifyFd(opened.fd.get(), config.anchor));
}

AdmissionCheck makeCodesignAdmission(LogSink log, AdmissionConfig config) {
  return [log = std::move(log), config = std::move(config)](const PeerInfo& peer) noexcept {
    bool admitted = false;
    try {
      admitted = isValidClient(peer, config, log) && checkClientRequirement(peer, config);
    } catch (...) {
      admitted = false;  // out of memory and the like: refuse rather than guess
    }
    if (!admitted) {
      try {
        log(kClientNotValid);
      } catch (...) {
      }
    }
    return admitted;
  };
}

}  // namespace helper
