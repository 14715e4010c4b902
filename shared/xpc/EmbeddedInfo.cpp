#include "shared/xpc/EmbeddedInfo.h"

#include <elf.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <vector>

#include "shared/xpc/Socket.h"

namespace xpc {
namespace {

bool readAt(int fd, void* out, size_t size, uint64_t offset) {
  auto* p = static_cast<char*>(out);
  while (size > 0) {
    const ssize_t n = ::pread(fd, p, size, static_cast<off_t>(offset));
    if (n <= 0) return false;
    p += n;
    size -= static_cast<size_t>(n);
    offset += static_cast<uint64_t>(n);
  }
  return true;
}

// True when [offset, offset + size) lies inside a file of `fileSize` bytes, without overflow.
bool inside(uint64_t offset, uint64_t size, uint64_t fileSize) {
  return offset <= fileSize && size <= fileSize - offset;
}

template <typename Ehdr, typename Shdr>
std::optional<std::string> findSection(int fd, uint64_t fileSize, std::string_view name,
                                       size_t maxSize) {
  Ehdr eh;
  if (!readAt(fd, &eh, sizeof eh, 0)) return std::nullopt;
  // Extended numbering (counts kept in section 0) is not used by our own files; refuse it.
  if (eh.e_shentsize != sizeof(Shdr) || eh.e_shnum == 0 || eh.e_shstrndx >= eh.e_shnum)
    return std::nullopt;
  if (!inside(eh.e_shoff, uint64_t{eh.e_shnum} * sizeof(Shdr), fileSize)) return std::nullopt;
  std::vector<Shdr> sections(eh.e_shnum);
  if (!readAt(fd, sections.data(), sections.size() * sizeof(Shdr), eh.e_shoff)) return std::nullopt;

  const Shdr& strtab = sections[eh.e_shstrndx];
  if (strtab.sh_type != SHT_STRTAB || !inside(strtab.sh_offset, strtab.sh_size, fileSize) ||
      strtab.sh_size > (1u << 20))
    return std::nullopt;
  std::string names(strtab.sh_size, '\0');
  if (!readAt(fd, names.data(), names.size(), strtab.sh_offset)) return std::nullopt;

  for (const Shdr& s : sections) {
    if (s.sh_name >= names.size()) continue;
    const char* start = names.data() + s.sh_name;
    const size_t room = names.size() - s.sh_name;
    const size_t len = strnlen(start, room);
    if (len == room || std::string_view(start, len) != name) continue;  // unterminated or other
    if (s.sh_type == SHT_NOBITS || s.sh_size > maxSize || !inside(s.sh_offset, s.sh_size, fileSize))
      return std::nullopt;
    std::string bytes(s.sh_size, '\0');
    if (!readAt(fd, bytes.data(), bytes.size(), s.sh_offset)) return std::nullopt;
    return bytes;
  }
  return std::nullopt;
}

}  // namespace

std::optional<std::string> readElfSection(int fd, std::string_view name, size_t maxSize) {
  struct stat st;
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) return std::nullopt;
  const auto fileSize = static_cast<uint64_t>(st.st_size);
  unsigned char ident[EI_NIDENT];
  if (!readAt(fd, ident, sizeof ident, 0) || std::memcmp(ident, ELFMAG, SELFMAG) != 0)
    return std::nullopt;
  const unsigned char hostData =
      (__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__) ? ELFDATA2LSB : ELFDATA2MSB;
  if (ident[EI_DATA] != hostData) return std::nullopt;
  if (ident[EI_CLASS] == ELFCLASS64)
    return findSection<Elf64_Ehdr, Elf64_Shdr>(fd, fileSize, name, maxSize);
  if (ident[EI_CLASS] == ELFCLASS32)
    return findSection<Elf32_Ehdr, Elf32_Shdr>(fd, fileSize, name, maxSize);
  return std::nullopt;
}

std::optional<std::string> readElfSection(const std::string& path, std::string_view name,
                                          size_t maxSize) {
  UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
  if (!fd.valid()) return std::nullopt;
  return readElfSection(fd.get(), name, maxSize);
}

std::optional<plist::Value> readEmbeddedList(const std::string& path, std::string_view section) {
  const auto bytes = readElfSection(path, section);
  if (!bytes) return std::nullopt;
  auto parsed = plist::parse(*bytes);
  if (!parsed.ok() || !parsed.value->isDict()) return std::nullopt;
  return std::move(*parsed.value);
}

std::string bundleShortVersion(const plist::Value& infoList) {
  const auto* s = infoList["CFBundleShortVersionString"].string();
  return s ? *s : std::string("0");
}

}  // namespace xpc
