#include "platform/file_filter.h"

#include <algorithm>
#include <cctype>
#include <string_view>
#include <vector>

namespace {

std::string_view trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

// The description without a pattern list of its own at its end.
std::string_view bareDescription(std::string_view d) {
  d = trim(d);
  if (!d.empty() && d.back() == ')') {
    const size_t open = d.rfind('(');
    if (open != std::string_view::npos && open > 0) d = trim(d.substr(0, open));
  }
  return d;
}

std::string withCase(std::string_view s, int (*convert)(int)) {
  std::string out(s);
  for (char& c : out) c = static_cast<char>(convert(static_cast<unsigned char>(c)));
  return out;
}

void addOnce(std::vector<std::string>& list, std::string s) {
  if (std::find(list.begin(), list.end(), s) == list.end()) list.push_back(std::move(s));
}

}  // namespace

std::string nameFilters(const char* filter) {
  if (filter == nullptr) return {};
  std::vector<std::string_view> fields;
  std::string_view rest(filter);
  while (true) {
    const size_t bar = rest.find('|');
    fields.push_back(rest.substr(0, bar));
    if (bar == std::string_view::npos) break;
    rest.remove_prefix(bar + 1);
  }

  std::string out;
  for (size_t i = 0; i + 1 < fields.size(); i += 2) {
    std::vector<std::string> patterns;
    std::string_view list = fields[i + 1];
    while (!list.empty()) {
      const size_t semi = list.find(';');
      const std::string_view p = trim(list.substr(0, semi));
      if (p == "*.*" || p == "*") {
        addOnce(patterns, "*");
      } else if (!p.empty()) {
        addOnce(patterns, std::string(p));
        addOnce(patterns, withCase(p, ::toupper));
        addOnce(patterns, withCase(p, ::tolower));
      }
      if (semi == std::string_view::npos) break;
      list.remove_prefix(semi + 1);
    }
    if (patterns.empty()) continue;
    if (!out.empty()) out += ";;";
    out += bareDescription(fields[i]);
    out += " (";
    for (size_t k = 0; k < patterns.size(); ++k) {
      if (k > 0) out += ' ';
      out += patterns[k];
    }
    out += ')';
  }
  return out;
}
