// What must hold of the three programs before anything is installed:
//   - the helper is signed as com.tarquell.powermetrics under this build's anchor (the
//     application's requirement for its helper), and its embedded lists name that service;
//   - the application satisfies one of the requirements in the helper's SMAuthorizedClients
//     (otherwise the installed helper would refuse the very program that installed it);
//   - the sampler, which the helper runs as root, is signed as our sampler under the anchor.
#pragma once

#include <optional>
#include <string>

#include "shared/codesign/Certificate.h"
#include "shared/plist/Plist.h"
#include "tools/bless/SealedCopy.h"

namespace bless {

struct Programs {
  const SealedCopy& helper;
  const SealedCopy& sampler;
  const SealedCopy& client;
};

// The helper's job list when every check passes; nullopt with the first failure in `error`.
std::optional<plist::Value> checkPrograms(const Programs& programs, const codesign::Anchor& anchor,
                                          std::string& error);

}  // namespace bless
