// Reading the helper's information list and job list from its executable file.
//
// The helper carries both lists as XML property lists in named ELF sections, so a program can
// learn the helper's version and job settings from the file alone, without running it (the
// application compares the installed helper's version with the one it ships; the installer
// generates the service units from the job list).
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "shared/plist/Plist.h"

namespace xpc {

// The bytes of the section called `name` in the ELF file open at `fd` (read with pread, the
// file offset is left alone). nullopt when the file is not a well-formed ELF file of this
// machine's byte order, the section is missing or holds no file bytes, or it is larger than
// `maxSize`. Every offset and size is checked against the file before it is used.
std::optional<std::string> readElfSection(int fd, std::string_view name, size_t maxSize = 1u << 20);
std::optional<std::string> readElfSection(const std::string& path, std::string_view name,
                                          size_t maxSize = 1u << 20);

// The property list in section `section` of the executable at `path` (kInfoSection or
// kJobsSection), or nullopt when it is missing or does not parse as a dictionary.
std::optional<plist::Value> readEmbeddedList(const std::string& path, std::string_view section);

// `CFBundleShortVersionString` of an information list, or "0" when it is missing or not a
// string (which never equals a real version).
std::string bundleShortVersion(const plist::Value& infoList);

}  // namespace xpc
