#include "helper/admission/ClientAdmission.h"

#include <memory>
#include <mutex>
#include <optional>

#include "helper/admission/CodesignCheck.h"

namespace helper {
namespace {

using Chain = std::vector<codesign::Certificate>;

// The helper's own certificate chain. Its executable cannot change under the running process,
// so the first successful read serves every later connection; a failure is tried again.
class OwnChain {
 public:
  explicit OwnChain(std::string selfExecutable) : selfExecutable_(std::move(selfExecutable)) {}

  Checked<Chain> get(const codesign::Anchor& anchor) {
    std::lock_guard lock(mutex_);
    if (chain_) return *chain_;
    auto self = copySelfStaticCode(selfExecutable_);
    if (auto* e = std::get_if<CodesignCheckError>(&self)) return *e;
    auto info = copySigningInformation(std::get<StaticCode>(self), anchor);
    if (auto* e = std::get_if<CodesignCheckError>(&info)) return *e;
    chain_ = std::move(std::get<codesign::Verification>(info).chain);
    return *chain_;
  }

 private:
  std::mutex mutex_;
  const std::string selfExecutable_;
  std::optional<Chain> chain_;
};

bool admit(const PeerInfo& peer, const AdmissionConfig& config, OwnChain& own, const LogSink& log) {
  auto logged = [&](const CodesignCheckError& e) {
    log(std::string(kCheckFailedPrefix) + e.description());
    return false;
  };
  auto ownChain = own.get(config.anchor);
  if (auto* e = std::get_if<CodesignCheckError>(&ownChain)) return logged(*e);
  auto client = copyClientStaticCode(peer.pid, peer.pidfd);
  if (auto* e = std::get_if<CodesignCheckError>(&client)) return logged(*e);
  auto info = copySigningInformation(std::get<StaticCode>(client), config.anchor);
  if (auto* e = std::get_if<CodesignCheckError>(&info)) return logged(*e);
  const auto& verification = std::get<codesign::Verification>(info);

  // Check 1: same length and equal position by position; two empty chains match.
  if (verification.chain != std::get<Chain>(ownChain)) return false;
  // Check 2 over the same verification.
  auto requirement = codesign::Requirement::parse(config.requirement);
  return requirement && requirement->isSatisfiedBy(verification);
}

}  // namespace

bool checkClientRequirement(const PeerInfo& peer, const AdmissionConfig& config) {
  OpenedExecutable opened = openExecutableByHandle(peer.pid, peer.pidfd);
  if (opened.result != OpenedExecutable::Result::Ok) return false;
  auto requirement = codesign::Requirement::parse(config.requirement);
  if (!requirement) return false;
  return requirement->isSatisfiedBy(codesign::verifyFd(opened.fd.get(), config.anchor));
}

AdmissionCheck makeCodesignAdmission(LogSink log, AdmissionConfig config) {
  auto own = std::make_shared<OwnChain>(config.selfExecutable);
  return [log = std::move(log), config = std::move(config), own](const PeerInfo& peer) noexcept {
    bool admitted = false;
    try {
      admitted = admit(peer, config, *own, log);
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
