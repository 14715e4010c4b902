// Feeds arbitrary bytes to the signature trailer parser and verifier, and the same bytes as text
// to the requirement parser; whatever comes in, nothing may read out of bounds or claim an
// intact signature that does not fit the file.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "shared/codesign/Requirement.h"
#include "shared/codesign/SignatureFormat.h"
#include "shared/codesign/Signer.h"
#include "shared/codesign/Verifier.h"

namespace {

// Inside the validity of the fixture certificates, so the seeds verify on any day.
constexpr std::time_t kFixtureTime = 1796750050;

const codesign::Anchor& anchor() {
  static const codesign::Anchor a = [] {
    auto loaded = codesign::Anchor::fromPemFile(FERROLUX_FIXTURES_DIR "/codesign/fuzz-anchor.pem");
    if (!loaded) std::abort();
    return *loaded;
  }();
  return a;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  codesign::MemorySource source({data, size});
  codesign::VerifyOptions options;
  options.atTime = kFixtureTime;
  codesign::Verification v = codesign::verify(source, anchor(), options);
  if (v.intact() &&
      (!codesign::isValidIdentifier(v.identifier) || v.codeLimit + codesign::kTrailerSize > size))
    std::abort();
  if (v.valid() && v.chain.empty()) std::abort();

  std::string error;
  std::uint64_t length = 0;
  if (codesign::codeLength(source, length, error) && length > size) std::abort();

  auto requirement = codesign::Requirement::parse(
      std::string_view(reinterpret_cast<const char*>(data), size), &error);
  if (requirement) (void)requirement->isSatisfiedBy(v);
  return 0;
}
