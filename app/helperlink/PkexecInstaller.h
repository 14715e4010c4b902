// Installing the helper on Linux: pkexec asks for an administrator's approval (polkit action
// com.tarquell.ferrolux.bless) and runs ferrolux-bless as root, which verifies the programs
// and installs them. The command it runs, with a fixed argument vector and no shell:
//
//   <pkexec> <bless> install --helper <helper copy> --sampler <sampler> --client <this program>
#pragma once

#include <string>
#include <vector>

#include "app/helperlink/HelperInstaller.h"

namespace helperlink {

struct PkexecPaths {
  std::string pkexec = "/usr/bin/pkexec";
  std::string bless;       // the installed ferrolux-bless (the polkit action names this path)
  std::string helperCopy;  // the application's helper copy
  std::string sampler;     // the sampler installed beside the helper
  std::string client;      // this application's executable, which the helper must admit
};

// An installed application's paths: the helper copy, the sampler and ferrolux-bless from the
// install's libexec directory, and the running executable.
PkexecPaths installedPkexecPaths();

// The running program's executable (/proc/self/exe, resolved); empty when it cannot be read or
// the file has since been replaced, since the installer would then verify a different one.
std::string ownExecutable();

class PkexecInstaller final : public HelperInstaller {
 public:
  explicit PkexecInstaller(PkexecPaths paths = installedPkexecPaths());

  // 0 when pkexec is an absolute path to an executable regular file. Otherwise the errno that
  // says why: ENOENT when it is missing (or the path is not absolute), EACCES when it is not an
  // executable regular file.
  int authorize() override;

  // Runs pkexec and waits for it (the administrator may take a while). true only when it ends
  // with status 0; pkexec's own 126 (dialog dismissed) and 127 (not authorized), and every
  // refusal or failure of the installer, are false. Blocks the calling thread.
  bool bless() override;

  // What follows the pkexec path in the command line.
  std::vector<std::string> blessArguments() const;
  // Standard error of the last run that did not succeed, for diagnostics.
  const std::string& lastError() const { return lastError_; }

 private:
  PkexecPaths paths_;
  std::string lastError_;
};

}  // namespace helperlink
