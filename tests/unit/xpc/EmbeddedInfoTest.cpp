#include <elf.h>
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>

#include "shared/codesign/Requirement.h"
#include "shared/xpc/EmbeddedInfo.h"
#include "shared/xpc/Protocol.h"
#include "unit/core/Files.h"

namespace {

const std::string kHelper = FERROLUX_BUILD_DIR "/helper/com.tarquell.powermetrics";

using fxtest::readFile;

TEST(EmbeddedInfo, InfoListReadFromTheFileAlone) {
  const auto info = xpc::readEmbeddedList(kHelper, xpc::kInfoSection);
  ASSERT_TRUE(info) << "helper not built at " << kHelper;
  EXPECT_EQ(xpc::bundleShortVersion(*info), "1.4");
  EXPECT_EQ(*(*info)["CFBundleVersion"].string(), "20230402");
  EXPECT_EQ(*(*info)["CFBundleIdentifier"].string(), "com.tarquell.powermetrics");
  ASSERT_EQ((*info)["SMAuthorizedClients"].size(), 1u);
  // The list must carry exactly the requirement the helper checks its clients against.
  EXPECT_EQ(*(*info)["SMAuthorizedClients"][0].string(), codesign::kHelperClientRequirement);
  const auto jobs = xpc::readEmbeddedList(kHelper, xpc::kJobsSection);
  ASSERT_TRUE(jobs);
  EXPECT_EQ(*(*jobs)["Label"].string(), "com.tarquell.powermetrics");
  EXPECT_EQ((*jobs)["Nice"].integer(), -10);
}

TEST(EmbeddedInfo, VersionFallsBackToZero) {
  EXPECT_EQ(xpc::bundleShortVersion(plist::Value(plist::Dict{})), "0");
  EXPECT_EQ(xpc::bundleShortVersion(plist::Dict{{"CFBundleShortVersionString", 14}}), "0");
}

// Every corruption of a real executable must give "no section", never a crash or a read
// outside the file.
TEST(EmbeddedInfo, DamagedFilesYieldNothing) {
  const std::string original = readFile(kHelper);
  ASSERT_GT(original.size(), sizeof(Elf64_Ehdr));
  Elf64_Ehdr eh;
  std::memcpy(&eh, original.data(), sizeof eh);

  auto shdrAt = [&](std::string& f, size_t index) {
    return reinterpret_cast<Elf64_Shdr*>(f.data() + eh.e_shoff + index * sizeof(Elf64_Shdr));
  };
  struct Case {
    const char* what;
    std::function<void(std::string&)> damage;
  };
  const Case cases[] = {
      {"cut after the header", [](std::string& f) { f.resize(100); }},
      {"cut inside the section table", [&](std::string& f) { f.resize(eh.e_shoff + 10); }},
      {"bad magic", [](std::string& f) { f[1] = 'X'; }},
      {"foreign byte order", [](std::string& f) { f[EI_DATA] = ELFDATA2MSB; }},
      {"unknown class", [](std::string& f) { f[EI_CLASS] = 9; }},
      {"section table past the end",
       [](std::string& f) {
         auto* h = reinterpret_cast<Elf64_Ehdr*>(f.data());
         h->e_shoff = f.size() - 8;
       }},
      {"section table offset overflows",
       [](std::string& f) { reinterpret_cast<Elf64_Ehdr*>(f.data())->e_shoff = ~0ull - 4; }},
      {"name table index out of range",
       [](std::string& f) {
         auto* h = reinterpret_cast<Elf64_Ehdr*>(f.data());
         h->e_shstrndx = h->e_shnum;
       }},
      {"wrong entry size",
       [](std::string& f) { reinterpret_cast<Elf64_Ehdr*>(f.data())->e_shentsize = 12; }},
      {"every section huge",
       [&](std::string& f) {
         for (size_t i = 0; i < eh.e_shnum; ++i)
           if (i != eh.e_shstrndx) shdrAt(f, i)->sh_size = ~0ull;
       }},
      {"every section past the end",
       [&](std::string& f) {
         for (size_t i = 0; i < eh.e_shnum; ++i)
           if (i != eh.e_shstrndx) shdrAt(f, i)->sh_offset = f.size();
       }},
      {"names point outside their table",
       [&](std::string& f) {
         for (size_t i = 0; i < eh.e_shnum; ++i)
           shdrAt(f, i)->sh_name = 0x7fffffff;
       }},
  };
  const auto dir = std::filesystem::temp_directory_path() / ("elf-" + std::to_string(getpid()));
  std::filesystem::create_directories(dir);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    std::string damaged = original;
    c.damage(damaged);
    const auto path = (dir / "damaged").string();
    std::ofstream(path, std::ios::binary | std::ios::trunc) << damaged;
    EXPECT_FALSE(xpc::readElfSection(path, xpc::kInfoSection));
  }
  EXPECT_FALSE(xpc::readElfSection((dir / "missing").string(), xpc::kInfoSection));
  EXPECT_FALSE(xpc::readElfSection(dir.string(), xpc::kInfoSection));  // a directory
  EXPECT_FALSE(xpc::readElfSection(kHelper, ".no.such.section"));
  EXPECT_FALSE(xpc::readElfSection(kHelper, xpc::kInfoSection, 16));  // over the size bound
  std::filesystem::remove_all(dir);
}

}  // namespace
