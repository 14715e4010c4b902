#include "tools/bless/ProgramChecks.h"

#include "shared/codesign/Requirement.h"
#include "shared/codesign/Verifier.h"
#include "shared/xpc/EmbeddedInfo.h"
#include "shared/xpc/Protocol.h"

namespace bless {
namespace {

std::string describe(const codesign::Verification& v) {
  std::string text = codesign::statusName(v.status);
  if (!v.reason.empty()) text += " (" + v.reason + ")";
  if (!v.identifier.empty()) text += ", signed as \"" + v.identifier + "\"";
  return text;
}

// Verifies `copy` and requires `requirementText` of it.
bool satisfies(const SealedCopy& copy, const codesign::Anchor& anchor,
               std::string_view requirementText, const char* what, std::string& error) {
  const auto signature = codesign::verifyFd(copy.fd(), anchor);
  if (!signature.valid()) {
    error =
        std::string(what) + " " + copy.path() + " is not validly signed: " + describe(signature);
    return false;
  }
  const auto requirement = codesign::Requirement::parse(requirementText);
  if (!requirement || !requirement->isSatisfiedBy(signature)) {
    error = std::string(what) + " " + copy.path() + " does not satisfy " +
            std::string(requirementText) + ": " + describe(signature);
    return false;
  }
  return true;
}

std::optional<plist::Value> embeddedList(const SealedCopy& copy, std::string_view section) {
  const auto bytes = xpc::readElfSection(copy.fd(), section);
  if (!bytes) return std::nullopt;
  auto parsed = plist::parse(*bytes);
  if (!parsed.ok() || !parsed.value->isDict()) return std::nullopt;
  return std::move(*parsed.value);
}

}  // namespace

std::optional<plist::Value> checkPrograms(const Programs& p, const codesign::Anchor& anchor,
                                          std::string& error) {
  if (!satisfies(p.helper, anchor, codesign::kHelperRequirement, "the helper", error))
    return std::nullopt;

  const auto info = embeddedList(p.helper, xpc::kInfoSection);
  const auto jobs = embeddedList(p.helper, xpc::kJobsSection);
  if (!info || !jobs) {
    error = "the helper " + p.helper.path() + " carries no readable information or job list";
    return std::nullopt;
  }
  const auto* identifier = (*info)["CFBundleIdentifier"].string();
  const auto* label = (*jobs)["Label"].string();
  // The installed file names and the uninstall are fixed by the service name; a helper that
  // calls itself anything else would be installed where nothing finds or removes it.
  if (!identifier || *identifier != xpc::kServiceName || !label || *label != xpc::kServiceName) {
    error = "the helper's lists do not name the service " + std::string(xpc::kServiceName);
    return std::nullopt;
  }

  const auto clientSignature = codesign::verifyFd(p.client.fd(), anchor);
  if (!clientSignature.valid()) {
    error = "the application " + p.client.path() +
            " is not validly signed: " + describe(clientSignature);
    return std::nullopt;
  }
  bool admitted = false;
  const auto& clients = (*info)["SMAuthorizedClients"];
  for (size_t i = 0; i < clients.size() && !admitted; ++i) {
    const auto* text = clients[i].string();
    const auto requirement = text ? codesign::Requirement::parse(*text) : std::nullopt;
    admitted = requirement && requirement->isSatisfiedBy(clientSignature);
  }
  if (!admitted) {
    error = "the application " + p.client.path() +
            " is not one of the helper's authorized clients: " + describe(clientSignature);
    return std::nullopt;
  }

  if (!satisfies(p.sampler, anchor, codesign::kSamplerRequirement, "the sampler", error))
    return std::nullopt;
  return jobs;
}

}  // namespace bless
