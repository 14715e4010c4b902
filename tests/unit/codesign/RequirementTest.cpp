#include <gtest/gtest.h>

#include <string>

#include "shared/codesign/Requirement.h"

namespace codesign {
namespace {

Verification signature(Status status, std::string identifier, std::vector<std::string> names) {
  Verification v;
  v.status = status;
  v.identifier = std::move(identifier);
  for (auto& cn : names) {
    Certificate c;
    c.der = {static_cast<unsigned char>(v.chain.size())};
    c.subjectCommonName = cn;
    c.subjectOrganization = "Tarquell";
    v.chain.push_back(c);
  }
  return v;
}

const Verification kGenuine =
    signature(Status::Valid, "com.tarquell.Ferrolux",
              {"Developer ID Application: Tarquell (QZ4K8WD2RM)", "Middle", "Root"});

TEST(Requirement, TextThatDoesNotParseIsAnError) {
  const char* bad[] = {
      "",
      "   ",
      "identifier",
      "identifier \"com.x",
      "identifier \"com.x\" and",
      "and identifier \"com.x\"",
      "identifier \"com.x\" or or anchor apple generic",
      "(identifier \"com.x\"",
      "identifier \"com.x\")",
      "anchor apple",  // only the generic anchor means something here
      "anchor trusted",
      "certificate leaf[subject.CN]",
      "certificate leaf[subject.CN] \"x\"",
      "certificate leaf[subject.XX] = \"x\"",
      "certificate 99[subject.CN] = \"x\"",
      "certificate leaf subject.CN = \"x\"",
      "identifier \"a\" & identifier \"b\"",
      "info [CFBundleVersion] = \"1\"",
      "!",
  };
  for (const char* text : bad) {
    SCOPED_TRACE(text);
    std::string error;
    EXPECT_FALSE(Requirement::parse(text, &error));
    EXPECT_FALSE(error.empty());
  }
  EXPECT_FALSE(Requirement::parse(std::string(5000, ' ') + "anchor apple generic"));
  EXPECT_FALSE(
      Requirement::parse(std::string(100, '(') + "anchor apple generic" + std::string(100, ')')));
}

TEST(Requirement, EvaluatesAgainstSignatures) {
  struct Row {
    const char* text;
    const Verification& sig;
    bool expected;
  };
  const Verification otherId = signature(Status::Valid, "com.tarquell.Other",
                                         {"Developer ID Application: Tarquell (QZ4K8WD2RM)"});
  const Verification otherLeaf = signature(Status::Valid, "com.tarquell.Ferrolux",
                                           {"Developer ID Application: Someone (XXXXXXXXXX)"});
  const Verification unanchored = signature(Status::NotAnchored, "com.tarquell.Ferrolux",
                                            {"Developer ID Application: Tarquell (QZ4K8WD2RM)"});
  const Verification adHoc = signature(Status::NotAnchored, "com.tarquell.Ferrolux", {});
  const Verification broken = signature(Status::Modified, "com.tarquell.Ferrolux", {});
  const std::string helper(kHelperClientRequirement);
  const Row rows[] = {
      {helper.c_str(), kGenuine, true},
      {helper.c_str(), otherId, false},
      {helper.c_str(), otherLeaf, false},
      {helper.c_str(), unanchored, false},
      {helper.c_str(), adHoc, false},
      {helper.c_str(), broken, false},
      {"identifier \"com.tarquell.Ferrolux\"", adHoc, true},
      {"identifier com.tarquell.Ferrolux", kGenuine, true},
      {"identifier = \"com.tarquell.Ferrolux\"", kGenuine, true},
      {"identifier \"com.tarquell.Ferrolux\"", broken, false},
      {"anchor apple generic", unanchored, false},
      // Certificate fields of a chain that does not reach the anchor are not believed.
      {"certificate leaf[subject.CN] = \"Developer ID Application: Tarquell (QZ4K8WD2RM)\"",
       unanchored, false},
      {"certificate root[subject.CN] = \"Root\"", kGenuine, true},
      {"certificate anchor[subject.CN] = \"Root\"", kGenuine, true},
      {"certificate 1[subject.CN] = \"Middle\"", kGenuine, true},
      {"certificate -2[subject.CN] = \"Middle\"", kGenuine, true},
      {"certificate 3[subject.CN] = \"Root\"", kGenuine, false},
      {"certificate leaf[subject.O] = \"Tarquell\"", kGenuine, true},
      {"certificate leaf[subject.OU] = \"\"", kGenuine, false},  // absent never matches
      {"identifier \"a\" or identifier \"com.tarquell.Ferrolux\"", kGenuine, true},
      {"identifier \"a\" or identifier \"b\" and anchor apple generic", kGenuine, false},
      {"identifier \"com.tarquell.Ferrolux\" or identifier \"b\" and identifier \"c\"", kGenuine,
       true},  // `and` binds tighter than `or`
      {"(identifier \"com.tarquell.Ferrolux\" or identifier \"b\") and identifier \"c\"", kGenuine,
       false},
      {"! identifier \"a\" and anchor apple generic", kGenuine, true},
      {"!(anchor apple generic)", broken, false},  // never satisfied by a broken signature
      {"identifier \"with \\\"quote\\\"\"", kGenuine, false},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.text);
    std::string error;
    auto req = Requirement::parse(r.text, &error);
    ASSERT_TRUE(req) << error;
    EXPECT_EQ(req->isSatisfiedBy(r.sig), r.expected);
  }
}

}  // namespace
}  // namespace codesign
