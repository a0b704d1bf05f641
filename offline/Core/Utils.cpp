#include "Utils.h"

#include <sstream>

namespace ql {

namespace {

// isspace in the C locale, without its undefined behaviour for negative chars.
bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }

}  // namespace

std::vector<std::string> Utils::Pieces(const std::string& text, char sep) {
  std::vector<std::string> pieces;
  std::istringstream in(text);
  std::string piece;
  while (std::getline(in, piece, sep)) pieces.push_back(piece);
  return pieces;
}

std::vector<std::string> Utils::Split(const std::string& text, char sep) {
  std::vector<std::string> pieces = Pieces(text, sep);
  for (std::string& piece : pieces) piece = Trim(piece);
  return pieces;
}

std::string Utils::LTrim(std::string& s) {
  std::size_t n = 0;
  while (n < s.size() && IsSpace(s[n])) ++n;
  if (n == s.size()) return std::string();
  s.erase(0, n);
  return s;
}

std::string Utils::RTrim(std::string& s) {
  std::size_t end = s.size();
  while (end > 0 && IsSpace(s[end - 1])) --end;
  if (end == 0) return std::string();
  s.erase(end);
  return s;
}

std::string Utils::Trim(std::string& s) {
  std::string right = RTrim(s);
  return LTrim(right);
}

bool Utils::EndsWith(const std::string& s, const std::string& suffix) {
  if (&s == &suffix) return true;
  if (suffix.size() > s.size()) return false;
  return s.compare(s.size() - suffix.size(), suffix.size(), suffix) == 0;
}

}  // namespace ql
