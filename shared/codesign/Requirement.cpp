#include "shared/codesign/Requirement.h"

#include <cctype>
#include <charconv>
#include <vector>

namespace codesign {

enum class NodeKind { And, Or, Not, Identifier, Anchor, Certificate };
enum class Field { CommonName, Organization, OrganizationalUnit };

struct RequirementNode {
  NodeKind kind = NodeKind::Anchor;
  std::string value;
  int position = 0;  // >= 0 from the leaf, < 0 from the root
  Field field = Field::CommonName;
  std::unique_ptr<RequirementNode> left, right;
};

namespace {

constexpr std::size_t kMaxTextSize = 4096;
constexpr int kMaxDepth = 32;
constexpr int kMaxChainPosition = 16;

struct Token {
  enum Kind { Word, String, Punct, End } kind = End;
  std::string text;
};

bool isWordChar(char c) {
  return std::isalnum(static_cast<unsigned char>(c)) || c == '.' || c == '_' || c == '-';
}

bool tokenize(std::string_view s, std::vector<Token>& out, std::string& error) {
  std::size_t i = 0;
  while (i < s.size()) {
    char c = s[i];
    if (c == ' ' || c == '\t' || c == '\n' || c == '\r') {
      ++i;
    } else if (c == '(' || c == ')' || c == '[' || c == ']' || c == '=' || c == '!') {
      out.push_back({Token::Punct, std::string(1, c)});
      ++i;
    } else if (c == '"') {
      std::string text;
      ++i;
      for (;;) {
        if (i >= s.size()) {
          error = "unterminated string";
          return false;
        }
        if (s[i] == '"') break;
        if (s[i] == '\\') {
          if (++i >= s.size()) continue;  // reported as unterminated on the next turn
        }
        text.push_back(s[i++]);
      }
      ++i;
      out.push_back({Token::String, std::move(text)});
    } else if (isWordChar(c)) {
      std::size_t start = i;
      while (i < s.size() && isWordChar(s[i]))
        ++i;
      out.push_back({Token::Word, std::string(s.substr(start, i - start))});
    } else {
      error = std::string("unexpected character '") + c + "'";
      return false;
    }
  }
  out.push_back({Token::End, {}});
  return true;
}

class Parser {
 public:
  explicit Parser(std::vector<Token> tokens) : tokens_(std::move(tokens)) {}

  std::unique_ptr<RequirementNode> parseAll(std::string& error) {
    auto node = parseOr(0);
    if (node && peek().kind != Token::End) fail("unexpected '" + peek().text + "'");
    if (!error_.empty()) {
      error = error_;
      return nullptr;
    }
    return node;
  }

 private:
  const Token& peek() const { return tokens_[pos_]; }
  const Token& next() { return tokens_[pos_ < tokens_.size() - 1 ? pos_++ : pos_]; }
  bool isWord(const char* w) const { return peek().kind == Token::Word && peek().text == w; }
  bool isPunct(char c) const {
    return peek().kind == Token::Punct && peek().text.size() == 1 && peek().text[0] == c;
  }
  std::unique_ptr<RequirementNode> fail(std::string why) {
    if (error_.empty()) error_ = why.empty() ? "syntax error" : std::move(why);
    return nullptr;
  }
  bool expectWord(const char* w) {
    if (!isWord(w)) return fail(std::string("expected '") + w + "'"), false;
    next();
    return true;
  }
  bool expectPunct(char c) {
    if (!isPunct(c)) return fail(std::string("expected '") + c + "'"), false;
    next();
    return true;
  }

  std::unique_ptr<RequirementNode> binary(NodeKind kind, std::unique_ptr<RequirementNode> l,
                                          std::unique_ptr<RequirementNode> r) {
    auto n = std::make_unique<RequirementNode>();
    n->kind = kind;
    n->left = std::move(l);
    n->right = std::move(r);
    return n;
  }

  std::unique_ptr<RequirementNode> parseOr(int depth) {
    auto left = parseAnd(depth);
    while (left && isWord("or")) {
      next();
      auto right = parseAnd(depth);
      if (!right) return nullptr;
      left = binary(NodeKind::Or, std::move(left), std::move(right));
    }
    return left;
  }

  std::unique_ptr<RequirementNode> parseAnd(int depth) {
    auto left = parseUnary(depth);
    while (left && isWord("and")) {
      next();
      auto right = parseUnary(depth);
      if (!right) return nullptr;
      left = binary(NodeKind::And, std::move(left), std::move(right));
    }
    return left;
  }

  std::unique_ptr<RequirementNode> parseUnary(int depth) {
    if (depth > kMaxDepth) return fail("requirement nested too deeply");
    if (isPunct('!')) {
      next();
      auto inner = parseUnary(depth + 1);
      if (!inner) return nullptr;
      return binary(NodeKind::Not, std::move(inner), nullptr);
    }
    if (isPunct('(')) {
      next();
      auto inner = parseOr(depth + 1);
      if (!inner || !expectPunct(')')) return nullptr;
      return inner;
    }
    if (isWord("identifier")) return parseIdentifier();
    if (isWord("anchor")) return parseAnchor();
    if (isWord("certificate") || isWord("cert")) return parseCertificate();
    return fail(peek().kind == Token::End ? "unexpected end of requirement"
                                          : "unknown clause '" + peek().text + "'");
  }

  std::unique_ptr<RequirementNode> parseIdentifier() {
    next();
    if (isPunct('=')) next();
    if (peek().kind != Token::String && peek().kind != Token::Word)
      return fail("expected an identifier value");
    auto n = std::make_unique<RequirementNode>();
    n->kind = NodeKind::Identifier;
    n->value = next().text;
    return n;
  }

  std::unique_ptr<RequirementNode> parseAnchor() {
    next();
    // Only the generic form has a meaning here: "chains to the configured anchor".
    if (!expectWord("apple") || !expectWord("generic")) return nullptr;
    auto n = std::make_unique<RequirementNode>();
    n->kind = NodeKind::Anchor;
    return n;
  }

  std::unique_ptr<RequirementNode> parseCertificate() {
    next();
    auto n = std::make_unique<RequirementNode>();
    n->kind = NodeKind::Certificate;
    if (peek().kind != Token::Word) return fail("expected a certificate position");
    const std::string where = next().text;
    if (where == "leaf") {
      n->position = 0;
    } else if (where == "root" || where == "anchor") {
      n->position = -1;
    } else {
      int value = 0;
      auto [end, ec] = std::from_chars(where.data(), where.data() + where.size(), value);
      if (ec != std::errc() || end != where.data() + where.size() || value < -kMaxChainPosition ||
          value >= kMaxChainPosition)
        return fail("bad certificate position '" + where + "'");
      n->position = value;
    }
    if (!expectPunct('[')) return nullptr;
    if (peek().kind != Token::Word) return fail("expected a certificate field");
    const std::string field = next().text;
    if (field == "subject.CN") {
      n->field = Field::CommonName;
    } else if (field == "subject.O") {
      n->field = Field::Organization;
    } else if (field == "subject.OU") {
      n->field = Field::OrganizationalUnit;
    } else {
      return fail("unsupported certificate field '" + field + "'");
    }
    if (!expectPunct(']') || !expectPunct('=')) return nullptr;
    if (peek().kind != Token::String && peek().kind != Token::Word)
      return fail("expected a value to compare with");
    n->value = next().text;
    return n;
  }

  std::vector<Token> tokens_;
  std::size_t pos_ = 0;
  std::string error_;
};

bool evaluate(const RequirementNode& n, const Verification& sig) {
  switch (n.kind) {
    case NodeKind::And:
      return evaluate(*n.left, sig) && evaluate(*n.right, sig);
    case NodeKind::Or:
      return evaluate(*n.left, sig) || evaluate(*n.right, sig);
    case NodeKind::Not:
      return !evaluate(*n.left, sig);
    case NodeKind::Identifier:
      return sig.identifier == n.value;
    case NodeKind::Anchor:
      return sig.valid();
    case NodeKind::Certificate: {
      // Subject names mean something only on a chain that ends at the anchor.
      if (!sig.valid()) return false;
      const int size = static_cast<int>(sig.chain.size());
      const int index = n.position >= 0 ? n.position : size + n.position;
      if (index < 0 || index >= size) return false;
      const Certificate& cert = sig.chain[static_cast<std::size_t>(index)];
      const std::string& actual = n.field == Field::CommonName     ? cert.subjectCommonName
                                  : n.field == Field::Organization ? cert.subjectOrganization
                                                                   : cert.subjectOrganizationalUnit;
      return !actual.empty() && actual == n.value;
    }
  }
  return false;
}

}  // namespace

std::optional<Requirement> Requirement::parse(std::string_view text, std::string* error) {
  std::string why;
  std::vector<Token> tokens;
  std::unique_ptr<RequirementNode> root;
  if (text.size() > kMaxTextSize) {
    why = "requirement too long";
  } else if (tokenize(text, tokens, why)) {
    root = Parser(std::move(tokens)).parseAll(why);
  }
  if (!root) {
    if (error) *error = why.empty() ? "syntax error" : why;
    return std::nullopt;
  }
  return Requirement(std::shared_ptr<const RequirementNode>(std::move(root)));
}

bool Requirement::isSatisfiedBy(const Verification& signature) const {
  return signature.intact() && root_ && evaluate(*root_, signature);
}

}  // namespace codesign
