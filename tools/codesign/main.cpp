// ferrolux-codesign: signs executables and shows and verifies their signatures.
//
//   ferrolux-codesign sign --identifier ID (--cert CERT.pem --key KEY.pem | --adhoc) FILE
//   ferrolux-codesign verify [--anchor ANCHOR.pem] [--requirement TEXT] FILE
//   ferrolux-codesign display [--anchor ANCHOR.pem] FILE
//
// Without --anchor the anchor this build was configured with is used. Exit status: 0 done or
// valid, 1 invalid or failed, 2 bad usage (including a requirement that does not parse).
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "shared/codesign/Certificate.h"
#include "shared/codesign/ConfiguredAnchor.h"
#include "shared/codesign/Requirement.h"
#include "shared/codesign/Signer.h"
#include "shared/codesign/Verifier.h"

namespace {

constexpr int kUsage = 2;

struct Args {
  std::string command;
  std::map<std::string, std::string> options;
  bool adHoc = false;
  std::string file;
};

int usage(const char* why) {
  std::fprintf(stderr,
               "ferrolux-codesign: %s\n"
               "usage: ferrolux-codesign sign --identifier ID (--cert PEM --key PEM | --adhoc) "
               "FILE\n"
               "       ferrolux-codesign verify [--anchor PEM] [--requirement TEXT] FILE\n"
               "       ferrolux-codesign display [--anchor PEM] FILE\n",
               why);
  return kUsage;
}

std::optional<Args> parseArgs(int argc, char** argv, std::string& error) {
  if (argc < 2) {
    error = "no command";
    return std::nullopt;
  }
  Args args;
  args.command = argv[1];
  static const std::vector<std::string> kValued = {"--identifier", "--cert", "--key", "--anchor",
                                                   "--requirement"};
  for (int i = 2; i < argc; ++i) {
    std::string a = argv[i];
    if (a == "--adhoc") {
      args.adHoc = true;
    } else if (std::find(kValued.begin(), kValued.end(), a) != kValued.end()) {
      if (i + 1 >= argc || args.options.count(a) != 0) {
        error = a + " needs one value";
        return std::nullopt;
      }
      args.options[a] = argv[++i];
    } else if (a.rfind("--", 0) == 0 || !args.file.empty()) {
      error = "unexpected argument " + a;
      return std::nullopt;
    } else {
      args.file = a;
    }
  }
  if (args.file.empty()) {
    error = "no file";
    return std::nullopt;
  }
  return args;
}

std::optional<codesign::Anchor> anchorFor(const Args& args) {
  std::string error;
  auto it = args.options.find("--anchor");
  auto anchor = it != args.options.end()
                    ? codesign::Anchor::fromPemFile(it->second, &error)
                    : codesign::Anchor::fromPem(codesign::configuredAnchorPem(), &error);
  if (!anchor) std::fprintf(stderr, "ferrolux-codesign: %s\n", error.c_str());
  return anchor;
}

int sign(const Args& args) {
  auto id = args.options.find("--identifier");
  auto cert = args.options.find("--cert");
  auto key = args.options.find("--key");
  if (id == args.options.end()) return usage("sign needs --identifier");
  const bool haveIdentity = cert != args.options.end() && key != args.options.end();
  if (args.adHoc == haveIdentity ||
      (!haveIdentity && (cert != args.options.end() || key != args.options.end())))
    return usage("sign needs either --cert and --key, or --adhoc");
  std::string error, certPem, keyPem;
  std::optional<codesign::SigningIdentity> identity;
  if (haveIdentity) {
    if (!codesign::readWholeFile(cert->second, certPem, error) ||
        !codesign::readWholeFile(key->second, keyPem, error) ||
        !(identity = codesign::loadSigningIdentity(certPem, keyPem, error))) {
      std::fprintf(stderr, "ferrolux-codesign: %s\n", error.c_str());
      return 1;
    }
  }
  if (!codesign::signFile(args.file, id->second, identity ? &*identity : nullptr, error)) {
    std::fprintf(stderr, "ferrolux-codesign: %s: %s\n", args.file.c_str(), error.c_str());
    return 1;
  }
  return 0;
}

std::optional<codesign::Verification> verifyFile(const Args& args) {
  auto anchor = anchorFor(args);
  if (!anchor) return std::nullopt;
  int fd = open(args.file.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    std::fprintf(stderr, "ferrolux-codesign: %s: %s\n", args.file.c_str(), std::strerror(errno));
    return std::nullopt;
  }
  auto v = codesign::verifyFd(fd, *anchor);
  close(fd);
  return v;
}

int verify(const Args& args) {
  std::optional<codesign::Requirement> requirement;
  if (auto it = args.options.find("--requirement"); it != args.options.end()) {
    std::string error;
    requirement = codesign::Requirement::parse(it->second, &error);
    if (!requirement) {
      std::fprintf(stderr, "ferrolux-codesign: the requirement does not parse: %s\n",
                   error.c_str());
      return kUsage;
    }
  }
  auto v = verifyFile(args);
  if (!v) return 1;
  if (!v->valid()) {
    std::fprintf(stderr, "%s: invalid: %s\n", args.file.c_str(), v->reason.c_str());
    return 1;
  }
  if (requirement && !requirement->isSatisfiedBy(*v)) {
    std::fprintf(stderr, "%s: does not satisfy the requirement\n", args.file.c_str());
    return 1;
  }
  std::printf("%s: valid\n", args.file.c_str());
  return 0;
}

int display(const Args& args) {
  auto v = verifyFile(args);
  if (!v) return 1;
  std::printf("File: %s\n", args.file.c_str());
  std::printf("Status: %s%s%s\n", codesign::statusName(v->status), v->reason.empty() ? "" : ": ",
              v->reason.c_str());
  if (!v->intact()) return 1;
  std::printf("Identifier: %s\n", v->identifier.c_str());
  std::printf("Signature: %s\n", v->adHoc ? "ad hoc" : "CMS");
  std::printf("Code size: %llu bytes\n", static_cast<unsigned long long>(v->codeLimit));
  for (std::size_t i = 0; i < v->chain.size(); ++i) {
    const auto& c = v->chain[i];
    std::printf("Certificate %zu: CN=%s, O=%s, OU=%s\n", i, c.subjectCommonName.c_str(),
                c.subjectOrganization.c_str(), c.subjectOrganizationalUnit.c_str());
  }
  return v->valid() ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  std::string error;
  auto args = parseArgs(argc, argv, error);
  if (!args) return usage(error.c_str());
  if (args->command == "sign") return sign(*args);
  if (args->command == "verify") return verify(*args);
  if (args->command == "display") return display(*args);
  return usage("unknown command");
}
