#include "tools/bless/Install.h"

#include <filesystem>

#include "packaging/SystemdUnits.h"
#include "shared/xpc/Protocol.h"
#include "tools/bless/ProgramChecks.h"
#include "tools/bless/SealedCopy.h"
#include "tools/bless/ServiceManager.h"
#include "tools/bless/TargetTree.h"
#include "tools/bless/VersionCheck.h"

namespace bless {
namespace {

Outcome refused(const std::string& why) {
  return {kRefused, "refused: " + why + "; nothing was changed"};
}

}  // namespace

Outcome install(const Options& options, const Invoker& invoker, const codesign::Anchor& anchor) {
  if (auto why = refusal(options, invoker)) return refused(*why);
  std::string error;
  const auto user = approvingUser(options, invoker, error);
  if (!user) return refused(error);

  auto helper = SealedCopy::take(options.helper, kMaxProgramSize, error);
  if (!helper) return refused(error);
  auto sampler = SealedCopy::take(options.sampler, kMaxProgramSize, error);
  if (!sampler) return refused(error);
  auto client = SealedCopy::take(options.client, kMaxProgramSize, error);
  if (!client) return refused(error);

  const auto jobs = checkPrograms({*helper, *sampler, *client}, anchor, error);
  if (!jobs) return refused(error);
  const std::string installedHelper =
      (std::filesystem::path(options.root.empty() ? "/" : options.root) /
       std::filesystem::path(xpc::kInstalledExecutable).relative_path())
          .string();
  if (auto why = downgradeRefusal(*helper, installedHelper)) return refused(*why);

  // The socket belongs to the approving user by number: nothing to resolve when it is made,
  // and no user name that a unit file could misread.
  const auto units = packaging::generateUnits(
      *jobs, packaging::installedUnitOptions(std::string(xpc::kInstalledToolsDirectory),
                                             std::to_string(user->uid)));
  if (!units) return refused("the helper's job list does not make usable units");

  const std::string unitDir = std::string(xpc::kUnitDirectory) + "/";
  std::vector<TargetFile> files = {
      {std::string(xpc::kInstalledExecutable), 0755, &*helper, {}},
      {std::string(xpc::kInstalledSampler), 0755, &*sampler, {}},
      {unitDir + units->serviceName, 0644, nullptr, units->service},
      {unitDir + units->socketName, 0644, nullptr, units->socket},
  };
  auto tree = TargetTree::check(options.root, std::move(files), error);
  if (!tree) return refused(error);

  if (!tree->install(error)) return {kFailed, "failed: " + error};
  const std::string manager = options.serviceManager.empty() ? kSystemctl : options.serviceManager;
  const std::string label = *(*jobs)["Label"].string();
  if (!startService(manager, label, error))
    return {kFailed, "failed: the files are installed but the service did not start: " + error};
  return {kInstalled, "installed " + label + "; its socket belongs to " + user->name + " (uid " +
                          std::to_string(user->uid) + ")"};
}

}  // namespace bless
