// Conversion between plist::Value and libplist's node trees, for parsing and writing.
#include <plist/plist.h>

#include <algorithm>
#include <cstdlib>
#include <limits>
#include <memory>

#include "shared/plist/Plist.h"
#include "shared/plist/PlistDetail.h"
#include "shared/plist/PlistGuard.h"
#include "shared/plist/XmlReader.h"

namespace plist {

std::string detail::cleanText(std::string_view text, bool forXml) {
  std::string out;
  out.reserve(text.size());
  const auto* p = reinterpret_cast<const unsigned char*>(text.data());
  const size_t n = text.size();
  size_t i = 0;
  while (i < n) {
    const unsigned char c = p[i];
    size_t len = 0;
    uint32_t cp = 0;
    if (c < 0x80) {
      len = 1, cp = c;
    } else if ((c & 0xE0) == 0xC0) {
      len = 2, cp = c & 0x1F;
    } else if ((c & 0xF0) == 0xE0) {
      len = 3, cp = c & 0x0F;
    } else if ((c & 0xF8) == 0xF0) {
      len = 4, cp = c & 0x07;
    }
    bool valid = len > 0 && i + len <= n;
    for (size_t k = 1; valid && k < len; ++k) {
      valid = (p[i + k] & 0xC0) == 0x80;
      cp = (cp << 6) | (p[i + k] & 0x3F);
    }
    // Overlong forms, surrogates and values past U+10FFFF are invalid as well.
    static constexpr uint32_t kMinForLength[] = {0, 0, 0x80, 0x800, 0x10000};
    if (valid) valid = cp >= kMinForLength[len] && cp <= 0x10FFFF && (cp < 0xD800 || cp > 0xDFFF);
    if (valid && forXml && cp < 0x20 && cp != '\t' && cp != '\n' && cp != '\r') valid = false;
    if (valid) {
      out.append(text.substr(i, len));
      i += len;
    } else {
      out.append("\xEF\xBF\xBD");
      i += 1;
    }
  }
  return out;
}

namespace {

using detail::cleanText;
using detail::kMaxDepth;

struct NodeDeleter {
  void operator()(plist_t node) const { plist_free(node); }
};
using Node = std::unique_ptr<void, NodeDeleter>;

struct MallocDeleter {
  void operator()(char* p) const { std::free(p); }
};
using CString = std::unique_ptr<char, MallocDeleter>;

bool fromNode(plist_t node, int depth, Value& out, std::string& error) {
  if (depth > kMaxDepth) {
    error = "property list nested too deeply";
    return false;
  }
  switch (plist_get_node_type(node)) {
    case PLIST_BOOLEAN: {
      uint8_t b = 0;
      plist_get_bool_val(node, &b);
      out = Value(b != 0);
      return true;
    }
    case PLIST_UINT: {
      uint64_t u = 0;
      plist_get_uint_val(node, &u);
      out = Value(static_cast<int64_t>(u));  // libplist keeps signed values as their bit pattern
      return true;
    }
    case PLIST_UID: {
      uint64_t u = 0;
      plist_get_uid_val(node, &u);
      out = Value(static_cast<int64_t>(u));
      return true;
    }
    case PLIST_REAL: {
      double d = 0;
      plist_get_real_val(node, &d);
      out = Value(d);
      return true;
    }
    case PLIST_STRING: {
      uint64_t length = 0;
      const char* s = plist_get_string_ptr(node, &length);
      out = Value(cleanText(s ? std::string_view(s, length) : std::string_view(), false));
      return true;
    }
    case PLIST_DATA: {
      char* raw = nullptr;
      uint64_t length = 0;
      plist_get_data_val(node, &raw, &length);
      CString d(raw);
      const auto* p = reinterpret_cast<const uint8_t*>(d.get());
      out = Value(p ? Bytes(p, p + length) : Bytes{});
      return true;
    }
    case PLIST_DATE: {
      int32_t sec = 0, usec = 0;
      plist_get_date_val(node, &sec, &usec);
      out = Value(Date{sec + usec / 1e6});
      return true;
    }
    case PLIST_ARRAY: {
      Array items;
      const uint32_t n = plist_array_get_size(node);
      items.reserve(n);
      for (uint32_t i = 0; i < n; ++i) {
        Value item;
        if (!fromNode(plist_array_get_item(node, i), depth + 1, item, error)) return false;
        items.push_back(std::move(item));
      }
      out = Value(std::move(items));
      return true;
    }
    case PLIST_DICT: {
      Dict entries;
      plist_dict_iter it = nullptr;
      plist_dict_new_iter(node, &it);
      std::unique_ptr<void, decltype(&std::free)> iterGuard(it, &std::free);
      while (true) {
        char* rawKey = nullptr;
        plist_t child = nullptr;
        plist_dict_next_item(node, it, &rawKey, &child);
        CString key(rawKey);
        if (!child) break;
        Value value;
        if (!fromNode(child, depth + 1, value, error)) return false;
        // Real sampler output repeats some keys; the later entry is the one that counts.
        entries.insert_or_assign(cleanText(key ? key.get() : "", false), std::move(value));
      }
      out = Value(std::move(entries));
      return true;
    }
    default:
      error = "unsupported property-list node";
      return false;
  }
}

plist_t toNode(const Value& value, bool forXml) {
  switch (value.type()) {
    case Type::None:
      return nullptr;
    case Type::Boolean:
      return plist_new_bool(*value.boolean() ? 1 : 0);
    case Type::Integer:
      return plist_new_uint(static_cast<uint64_t>(*value.integer()));
    case Type::Real:
      return plist_new_real(*value.number());
    case Type::String:
      return plist_new_string(cleanText(*value.string(), forXml).c_str());
    case Type::Data: {
      const Bytes& d = *value.data();
      return plist_new_data(reinterpret_cast<const char*>(d.data()), d.size());
    }
    case Type::Date: {
      // libplist keeps dates as 32-bit seconds: clamp rather than overflow (years 1933-2069).
      double s = value.date()->secondsSince2001;
      if (!(s == s)) s = 0;
      s = std::clamp(s, double{std::numeric_limits<int32_t>::min()},
                     double{std::numeric_limits<int32_t>::max()});
      const auto sec = static_cast<int32_t>(s);
      return plist_new_date(sec, static_cast<int32_t>((s - sec) * 1e6));
    }
    case Type::Array: {
      plist_t node = plist_new_array();
      for (const Value& item : *value.array())
        if (plist_t child = toNode(item, forXml)) plist_array_append_item(node, child);
      return node;
    }
    case Type::Dict: {
      plist_t node = plist_new_dict();
      for (const auto& [key, item] : *value.dict())
        if (plist_t child = toNode(item, forXml))
          plist_dict_set_item(node, cleanText(key, forXml).c_str(), child);
      return node;
    }
  }
  return nullptr;
}

bool isBinary(std::string_view bytes) {
  return bytes.substr(0, 6) == "bplist";
}

}  // namespace

ParseResult detail::parseWithLibplist(std::string_view bytes) {
  // Text documents end at a NUL byte; binary ones hold NULs of their own.
  if (!isBinary(bytes)) bytes = bytes.substr(0, bytes.find('\0'));
  ParseResult result;
  if (bytes.empty()) {
    result.error = "empty property list";
    return result;
  }
  if (bytes.size() > std::numeric_limits<uint32_t>::max()) {
    result.error = "property list too large";
    return result;
  }
  result.error = isBinary(bytes) ? detail::checkBinary(bytes) : detail::checkXml(bytes);
  if (!result.error.empty()) return result;
  plist_t raw = nullptr;
  plist_from_memory(bytes.data(), static_cast<uint32_t>(bytes.size()), &raw);
  Node root(raw);
  if (!root) {
    result.error = "not a property list";
    return result;
  }
  Value value;
  if (fromNode(root.get(), 0, value, result.error)) result.value = std::move(value);
  return result;
}

ParseResult parse(std::string_view bytes) {
  // Sampler output takes the direct reader, several times faster than building libplist's tree
  // and converting it. Whatever that reader does not accept gets the general path and its errors.
  if (!isBinary(bytes)) {
    const std::string_view doc = bytes.substr(0, bytes.find('\0'));
    if (doc.size() <= std::numeric_limits<uint32_t>::max())
      if (std::optional<Value> value = detail::readXml(doc)) return {std::move(value), {}};
  }
  return detail::parseWithLibplist(bytes);
}

ParseResult parse(const Bytes& bytes) {
  return parse(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
}

std::vector<ParseResult> parseAll(std::string_view bytes) {
  std::vector<ParseResult> results;
  while (!bytes.empty()) {
    if (isBinary(bytes)) {
      results.push_back(parse(bytes));
      break;
    }
    const size_t nul = bytes.find('\0');
    std::string_view piece = bytes.substr(0, nul);
    if (piece.find_first_not_of(" \t\r\n") != std::string_view::npos)
      results.push_back(parse(piece));
    if (nul == std::string_view::npos) break;
    bytes.remove_prefix(nul + 1);
  }
  return results;
}

std::string write(const Value& value, Format format) {
  Node root(toNode(value, format == Format::XML));
  if (!root) return {};
  char* out = nullptr;
  uint32_t length = 0;
  if (format == Format::XML) {
    plist_to_xml(root.get(), &out, &length);
  } else {
    plist_to_bin(root.get(), &out, &length);
  }
  if (!out) return {};
  std::string text(out, length);
  if (format == Format::XML) {
    plist_to_xml_free(out);
  } else {
    plist_to_bin_free(out);
  }
  return text;
}

}  // namespace plist
