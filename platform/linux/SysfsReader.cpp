#include "platform/linux/SysfsReader.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <fstream>
#include <system_error>

namespace platform::linux_fs {
namespace {
constexpr size_t kMaxFileSize = 1 << 20;
}

std::filesystem::path Root::at(std::string_view systemPath) const {
  while (!systemPath.empty() && systemPath.front() == '/')
    systemPath.remove_prefix(1);
  return root_ / std::filesystem::path(systemPath);
}

std::optional<std::string> Root::read(std::string_view systemPath) const {
  std::ifstream in(at(systemPath), std::ios::binary);
  if (!in) return std::nullopt;
  std::string text;
  char buffer[4096];
  while (text.size() < kMaxFileSize && in.read(buffer, sizeof buffer).gcount() > 0) {
    text.append(buffer, static_cast<size_t>(in.gcount()));
  }
  if (in.bad()) return std::nullopt;
  return text;
}

std::optional<std::string> Root::readLine(std::string_view systemPath) const {
  auto text = read(systemPath);
  if (!text) return std::nullopt;
  std::string_view view(*text);
  view = view.substr(0, view.find('\n'));
  return trim(view);
}

std::optional<int64_t> Root::readInteger(std::string_view systemPath) const {
  auto line = readLine(systemPath);
  return line ? parseInteger(*line) : std::nullopt;
}

std::vector<std::string> Root::list(std::string_view systemPath) const {
  std::vector<std::string> names;
  std::error_code ec;
  for (std::filesystem::directory_iterator it(at(systemPath), ec), end; !ec && it != end;
       it.increment(ec)) {
    names.push_back(it->path().filename().string());
  }
  std::sort(names.begin(), names.end(), naturalLess);
  return names;
}

bool Root::exists(std::string_view systemPath) const {
  std::error_code ec;
  return std::filesystem::exists(at(systemPath), ec);
}

std::optional<std::string> Root::linkName(std::string_view systemPath) const {
  std::error_code ec;
  auto target = std::filesystem::read_symlink(at(systemPath), ec);
  if (ec) return std::nullopt;
  auto name = target.filename().string();
  if (name.empty()) return std::nullopt;
  return name;
}

std::string trim(std::string_view text) {
  auto isJunk = [](char c) { return std::isspace(static_cast<unsigned char>(c)) || c == '\0'; };
  while (!text.empty() && isJunk(text.front()))
    text.remove_prefix(1);
  while (!text.empty() && isJunk(text.back()))
    text.remove_suffix(1);
  return std::string(text);
}

std::optional<int64_t> parseInteger(std::string_view text) {
  std::string t = trim(text);
  std::string_view v(t);
  int base = 10;
  if (v.size() > 2 && v[0] == '0' && (v[1] == 'x' || v[1] == 'X')) {
    v.remove_prefix(2);
    base = 16;
  }
  if (v.empty()) return std::nullopt;
  int64_t value = 0;
  auto [end, ec] = std::from_chars(v.data(), v.data() + v.size(), value, base);
  if (ec != std::errc() || end != v.data() + v.size()) return std::nullopt;
  return value;
}

std::optional<std::vector<int>> parseCPUList(std::string_view text) {
  std::vector<int> cpus;
  std::string t = trim(text);
  if (t.empty()) return cpus;
  for (const std::string& piece : split(t, ',')) {
    auto dash = piece.find('-');
    auto first = parseInteger(piece.substr(0, dash));
    auto last = dash == std::string::npos ? first : parseInteger(piece.substr(dash + 1));
    // A bound on the range keeps a corrupt list from allocating without end.
    if (!first || !last || *first < 0 || *last < *first || *last > 65535) return std::nullopt;
    for (int64_t c = *first; c <= *last; ++c)
      cpus.push_back(static_cast<int>(c));
  }
  return cpus;
}

std::vector<std::string> split(std::string_view text, char separator) {
  std::vector<std::string> pieces;
  size_t start = 0;
  while (true) {
    size_t pos = text.find(separator, start);
    pieces.emplace_back(text.substr(start, pos - start));
    if (pos == std::string_view::npos) break;
    start = pos + 1;
  }
  return pieces;
}

bool naturalLess(const std::string& a, const std::string& b) {
  size_t i = 0, j = 0;
  while (i < a.size() && j < b.size()) {
    if (std::isdigit(static_cast<unsigned char>(a[i])) &&
        std::isdigit(static_cast<unsigned char>(b[j]))) {
      size_t ei = i, ej = j;
      while (ei < a.size() && std::isdigit(static_cast<unsigned char>(a[ei])))
        ++ei;
      while (ej < b.size() && std::isdigit(static_cast<unsigned char>(b[ej])))
        ++ej;
      std::string_view na(a.data() + i, ei - i), nb(b.data() + j, ej - j);
      while (na.size() > 1 && na.front() == '0')
        na.remove_prefix(1);
      while (nb.size() > 1 && nb.front() == '0')
        nb.remove_prefix(1);
      if (na.size() != nb.size()) return na.size() < nb.size();
      if (na != nb) return na < nb;
      i = ei;
      j = ej;
    } else {
      if (a[i] != b[j]) return a[i] < b[j];
      ++i;
      ++j;
    }
  }
  return a.size() - i < b.size() - j;
}

}  // namespace platform::linux_fs
