// How the helper gets installed with an administrator's approval. The manager only knows these
// two steps; the Linux implementation runs the installer through pkexec, and tests substitute
// their own.
#pragma once

namespace helperlink {

class HelperInstaller {
 public:
  virtual ~HelperInstaller() = default;

  // Obtains whatever the installation needs before asking the administrator. 0 on success;
  // anything else is a status code for the authorization-failure log line, and the install
  // stops there.
  virtual int authorize() = 0;

  // Installs the application's helper copy and starts its service. false when the
  // administrator refused or the installation failed; the reason is not reported further.
  virtual bool bless() = 0;
};

}  // namespace helperlink
