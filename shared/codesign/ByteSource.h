// Random-access reading of the bytes being signed or verified: an open file or a buffer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace codesign {

class ByteSource {
 public:
  virtual ~ByteSource() = default;
  virtual std::uint64_t size() const = 0;
  // Fills `out` from `offset`; false (with `error` set) when the bytes cannot all be read.
  virtual bool readAt(std::uint64_t offset, std::span<std::uint8_t> out,
                      std::string& error) const = 0;
};

class MemorySource final : public ByteSource {
 public:
  explicit MemorySource(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}
  std::uint64_t size() const override { return bytes_.size(); }
  bool readAt(std::uint64_t offset, std::span<std::uint8_t> out, std::string& error) const override;

 private:
  std::span<const std::uint8_t> bytes_;
};

// Reads through a descriptor the caller keeps open; the size is taken once, so a file that
// changes underneath makes reads fail or hashes differ rather than reading out of bounds.
class FdSource final : public ByteSource {
 public:
  // Sets `ok` false (with `error`) when the descriptor is not a readable regular file.
  FdSource(int fd, bool& ok, std::string& error);
  std::uint64_t size() const override { return size_; }
  bool readAt(std::uint64_t offset, std::span<std::uint8_t> out, std::string& error) const override;

 private:
  int fd_;
  std::uint64_t size_ = 0;
};

}  // namespace codesign
